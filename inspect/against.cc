#include "against.h"

#include <algorithm>
#include <cinttypes>

#include "console_texts.h"
#include "inspect_status.h"
#include "pack_run.h"
#include "plan.h"
#include "report.h"
#include "status.h"

namespace {

constexpr int PLAIN = 0;
constexpr int FIRMWARE = 1;

std::string in_quotes(const std::string& name) {
  return "\"" + escape_bytes(name.data(), name.size()) + "\"";
}

std::string node_place(const ImageNode& node) {
  return ::node_place(node.index, node.offset);
}

std::string input_text(const CheckedInput& input) {
  return "input " + shown_path(input.path);
}

// Records a difference.
void note_difference(Against* const against, const std::string& text,
                     std::vector<std::string>* const differences) {
  differences->push_back(text);
  ++against->difference_count;
}

// Records a difference of input, whose verdict is the first difference found.
void add_difference(Against* const against, CheckedInput* const input, const int verdict,
                    const std::string& text, std::vector<std::string>* const differences) {
  if (input->verdict == VERDICT_MATCHES) {
    input->verdict = verdict;
    input->detail = text;
  }
  note_difference(against, text, differences);
}

// The reason corvane prints for refusing step, without its line end.
std::string refusal_reason(const PlanStep& step) {
  std::string text = refusal_text(step);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The first input still unmatched in role, taken off the list; false when there is none.
bool take_input(UnmatchedInputs* const unmatched, const int role, std::size_t* const input) {
  if (unmatched->next[role] == unmatched->inputs[role].size()) return false;
  *input = unmatched->inputs[role][unmatched->next[role]++];
  return true;
}

void add_unmatched_node(Against* const against, const std::size_t index) {
  if (!against->unmatched_nodes.empty() && against->unmatched_nodes.back().last + 1 == index) {
    against->unmatched_nodes.back().last = index;
  } else {
    against->unmatched_nodes.push_back({index, index});
  }
}

// Opens the matched input to compare its bytes with the node's payload, when the node is whole
// and the sizes agree.
void start_comparing(Against* const against, const ImageNode& node) {
  const CheckedInput& input = against->inputs[against->current];
  if (open_input(input.native_path, &against->input) != PLATFORM_OK) {
    against->unreadable = true;
    return;
  }
  against->input_size = against->input.size;
  if (!node.is_whole || against->input.size != node.payload_length) {
    close_input(against->input);
    return;
  }
  against->comparing = true;
}

std::string payload_difference(const Against& against, const ImageNode& node) {
  const CheckedInput& input = against.inputs[against.current];
  const std::string expected = "expected the " + std::to_string(against.input_size) + " bytes of " +
                               input_text(input) + ", found ";
  std::string found;
  if (!node.is_whole) {
    found = "no whole payload";
  } else if (against.input_size != node.payload_length) {
    found = std::to_string(node.payload_length) + " bytes";
  } else {
    found = formatted("0x%02x at byte %" PRIu64 " where the input has 0x%02x", against.node_byte,
                      against.first_difference, against.input_byte);
  }
  return node_place(node) + ": payload: " + expected + found;
}

}  // namespace

void plan_against(const std::vector<std::string>& arguments, Against* const against) {
  *against = Against{};
  // corvane run here would replace ./package.img, and never packs it.
  std::vector<FileIdentity> output_files;
  InputFile package;
  if (open_input(native_name(OUTPUT_FILE_NAME), &package) == PLATFORM_OK) {
    output_files.push_back(package.identity);
    close_input(package);
  }
  // The arguments are bytes in the code page, as corvane's narrow command line would give them.
  std::vector<NativeString> inputs;
  for (const std::string& argument : arguments) inputs.push_back(native_name(argument));
  Plan plan;
  start_plan(&plan, inputs, output_files);
  PlanStep step;
  while (next_plan_step(&plan, &step)) {
    if (step.kind == STEP_DIRECTORY && step.verdict == STATUS_OK) continue;
    // Inputs are opened again one at a time to compare them: thousands are never held open.
    if (step.verdict == STATUS_OK) close_input(step.input);
    CheckedInput input{step.path, step.native_path, "", 0, VERDICT_MISSING, "", false, 0};
    if (step.verdict == STATUS_OK) {
      input.node_name = step.node_name;
      input.flags = step.is_firmware ? NODE_FLAG_UPGRADE : 0;
      against->by_name[step.node_name].inputs[step.is_firmware ? FIRMWARE : PLAIN].push_back(
          against->inputs.size());
    } else {
      input.verdict = step.verdict == STATUS_OUTPUT_FILE ? VERDICT_OUTPUT_FILE : VERDICT_REFUSED;
      input.detail =
          input_text(input) + ": refused by corvane: " + shown_path(refusal_reason(step));
    }
    against->inputs.push_back(input);
  }
  end_plan(&plan);
}

void begin_node_check(Against* const against, const ImageNode& node,
                      std::vector<std::string>* const differences) {
  against->matched = false;
  against->comparing = false;
  against->unreadable = false;
  against->input_size = -1;
  against->compared = 0;
  against->differs = false;
  const std::string name(node.descriptor.name, node_name_length(node.descriptor));
  const auto unmatched = against->by_name.find(name);
  const int role = node.descriptor.flags == NODE_FLAG_UPGRADE ? FIRMWARE : PLAIN;
  std::size_t index = 0;
  if (unmatched == against->by_name.end() || (!take_input(&unmatched->second, role, &index) &&
                                              !take_input(&unmatched->second, 1 - role, &index))) {
    add_unmatched_node(against, node.index);
    note_difference(against, node_place(node) + ": no input accounts for " + in_quotes(name),
                    differences);
    return;
  }
  CheckedInput& input = against->inputs[index];
  input.matched = true;
  input.node_index = node.index;
  input.verdict = VERDICT_MATCHES;
  against->matched = true;
  against->current = index;
  if (node.descriptor.flags != input.flags) {
    add_difference(against, &input, VERDICT_FLAGS_DIFFER,
                   node_place(node) + ": flags: expected " + hex32(input.flags) + " for " +
                       input_text(input) + ", found " + hex32(node.descriptor.flags),
                   differences);
  }
  if (against->has_last_match && index < against->last_match) {
    const CheckedInput& later = against->inputs[against->last_match];
    add_difference(against, &input, VERDICT_OUT_OF_ORDER,
                   node_place(node) + ": out of order: " + input_text(input) + " comes before " +
                       input_text(later) + " (node " + std::to_string(against->last_match_node) +
                       ")",
                   differences);
  }
  against->has_last_match = true;
  against->last_match = index;
  against->last_match_node = node.index;
  start_comparing(against, node);
}

void compare_node_piece(Against* const against, const std::uint8_t* const bytes,
                        const std::size_t length) {
  if (!against->comparing || against->unreadable) return;
  if (against->buffer.size() < length) against->buffer.resize(length);
  if (read_input(against->input, against->buffer.data(), length) !=
      static_cast<std::int64_t>(length)) {
    against->unreadable = true;  // it is shorter than it measured: it changed meanwhile
    return;
  }
  if (!against->differs) {
    const auto differing = std::mismatch(bytes, bytes + length, against->buffer.data());
    if (differing.first != bytes + length) {
      against->differs = true;
      const auto at = static_cast<std::size_t>(differing.first - bytes);
      against->first_difference = against->compared + at;
      against->node_byte = bytes[at];
      against->input_byte = against->buffer[at];
    }
  }
  against->compared += length;
}

int end_node_check(Against* const against, const ImageNode& node,
                   std::vector<std::string>* const differences, std::FILE* const errors) {
  if (!against->matched) return INSPECT_OK;
  CheckedInput& input = against->inputs[against->current];
  if (against->comparing) {
    std::uint8_t beyond;
    // An input that yields more than it measured has changed meanwhile.
    if (!against->unreadable && read_input(against->input, &beyond, 1) != 0) {
      against->unreadable = true;
    }
    close_input(against->input);
    against->comparing = false;
  }
  if (against->unreadable) {
    input.verdict = VERDICT_UNREADABLE;
    input.detail = "cannot read " + input_text(input);
    std::fprintf(errors, "%s: %s\n", PROGRAM, input.detail.c_str());
    return INSPECT_FAILED;
  }
  if (!node.is_whole || against->input_size != node.payload_length || against->differs) {
    add_difference(against, &input, VERDICT_PAYLOAD_DIFFERS, payload_difference(*against, node),
                   differences);
  }
  return INSPECT_OK;
}

void end_against(Against* const against, std::vector<std::string>* const differences) {
  for (CheckedInput& input : against->inputs) {
    if (input.verdict == VERDICT_MISSING) {
      input.detail = input_text(input) + ": missing: no node " + in_quotes(input.node_name) +
                     (input.flags == NODE_FLAG_UPGRADE ? " flagged upgrade" : "") + " holds it";
    }
    if (input.verdict == VERDICT_REFUSED || input.verdict == VERDICT_MISSING) {
      note_difference(against, input.detail, differences);
    }
  }
}

const char* verdict_name(const int verdict) {
  switch (verdict) {
    case VERDICT_MATCHES:
      return "matches";
    case VERDICT_REFUSED:
      return "refused";
    case VERDICT_OUTPUT_FILE:
      return "output_file";
    case VERDICT_MISSING:
      return "missing";
    case VERDICT_FLAGS_DIFFER:
      return "flags_differ";
    case VERDICT_PAYLOAD_DIFFERS:
      return "payload_differs";
    case VERDICT_OUT_OF_ORDER:
      return "out_of_order";
    default:
      return "unreadable";
  }
}
