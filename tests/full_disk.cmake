# Makes DIRECTORY/<name>/package.img a link to /dev/full for each name in CASES: a package image
# that can be created but never written. Run by CTest before the Windows tests under Wine, which
# cannot make such a link itself; corvane writes a device directly and leaves the link as it is.
file(REMOVE_RECURSE ${DIRECTORY})
foreach(name IN LISTS CASES)
  file(MAKE_DIRECTORY ${DIRECTORY}/${name})
  file(CREATE_LINK /dev/full ${DIRECTORY}/${name}/package.img SYMBOLIC)
endforeach()
