# Makes DIRECTORY/<name>/package.img a link to /dev/full for each name in CASES: a package image
# that can be created but never written. Run by CTest before the Windows tests under Wine, which
# cannot make such a link itself; each run of corvane removes the link it could not write.
file(REMOVE_RECURSE ${DIRECTORY})
foreach(name IN LISTS CASES)
  file(MAKE_DIRECTORY ${DIRECTORY}/${name})
  file(CREATE_LINK /dev/full ${DIRECTORY}/${name}/package.img SYMBOLIC)
endforeach()
