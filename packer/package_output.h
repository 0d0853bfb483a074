// The package image as it is written: nodes gathered in one large buffer and written in large
// pieces to a new file that replaces the earlier package only once it is complete. A node is
// written as it is read: a node that fits the buffer is assembled there whole and written once with
// its neighbours; a larger one streams through, and its descriptor is written at the node's offset
// once the payload is known. A node that fails is cut back, so the package holds only whole nodes.
// Where the output cannot be patched or cut (a device, a FIFO), each node is held whole in memory
// before any of it is written.
//
// A write that fails makes the output failed: nothing more is written, and the calls that say
// so return STATUS_PACKAGE_FAILED.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "node_descriptor.h"
#include "output.h"

// What the buffer holds at the most, unless one node held whole needs more.
constexpr std::size_t PACKAGE_BUFFER_SIZE = std::size_t{1} << 20;

struct PackageOutput {
  OutputFile file;
  std::uint8_t* buffer;
  std::size_t capacity;      // bytes the buffer can hold
  std::size_t used;          // bytes gathered in it and not yet written
  std::int64_t written;      // bytes written to the file
  bool failed;               // a write failed: nothing more is written
  std::int64_t node_offset;  // where the node being written begins in the package
  std::size_t slot;          // where its descriptor is in the buffer, while it is there
  bool slot_written;         // its descriptor's place has been written out already
  bool closed;               // the file is committed or abandoned
};

// Creates the package image called name. Returns STATUS_OK or STATUS_PACKAGE_FAILED.
int create_package_output(PackageOutput* output, const std::string& name);

// The package's size so far, written or gathered.
std::int64_t package_size(const PackageOutput& output);

// Begins a node of payload_size bytes: makes room for its descriptor, and for the whole node
// when the output cannot be cut back. Returns STATUS_OK, STATUS_NO_MEMORY (nothing begun) or
// STATUS_PACKAGE_FAILED.
int begin_node(PackageOutput* output, std::size_t payload_size);

// Room for the node's next payload bytes: returns where they go and sets length to how many fit,
// at least 1; writes out the buffer first when it is full. Returns nullptr once the output failed.
std::uint8_t* payload_room(PackageOutput* output, std::size_t* length);

// Takes the next length bytes put at payload_room into the node.
void add_payload(PackageOutput* output, std::size_t length);

// Completes the node with its descriptor. Returns STATUS_OK or STATUS_PACKAGE_FAILED.
int end_node(PackageOutput* output, const NodeDescriptor& descriptor);

// Removes every byte of the node begun last, so the package is as it was before it. Returns
// STATUS_OK or STATUS_PACKAGE_FAILED.
int drop_node(PackageOutput* output);

// Writes out what is gathered and puts the package in place of the earlier one (see
// commit_output). Returns STATUS_OK, or STATUS_PACKAGE_FAILED with the earlier package as it was.
int commit_package_output(PackageOutput* output);

// Gives the package up, leaving the earlier one as it was. Does nothing once committed.
void abandon_package_output(PackageOutput* output);
