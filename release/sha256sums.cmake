# Run by `cmake --install`, and so by the packing script, once the release's
# files are in place: writes SHA256SUMS beside them, one "HASH  NAME" line
# each, the format `sha256sum -c SHA256SUMS` reads. release_files names them.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(sums "")
foreach(name IN LISTS release_files)
    file(SHA256 "${folder}/${name}" hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${folder}/SHA256SUMS" "${sums}")
