# Sourced by the command scripts, with repo set: sets build to BUILD_DIR
# (default: the repository's build/), taken from the caller's folder, and
# stops with one line when it is not a folder the caller can use: one that
# cannot be written, or whose Wine prefixes belong to another user (Wine
# refuses those). build_quietly configures it and builds the targets named.
build=$(realpath -m -- "${BUILD_DIR:-$repo/build}")
build_dir_refused() {
    echo "$(basename "$0"): $1: use a build folder of your own," \
         "e.g. BUILD_DIR=\$HOME/leader-build bash tools/$(basename "$0")" >&2
    exit 1
}
{ mkdir -p "$build" 2>/dev/null && [ -w "$build" ]; } || build_dir_refused "cannot write in $build"
for prefix in "$build"/*wineprefix; do
    [ ! -e "$prefix" ] || [ -O "$prefix" ] || build_dir_refused "$prefix belongs to another user"
done

build_quietly() {
    cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j "$(nproc)" --target "$@" >/dev/null
}
