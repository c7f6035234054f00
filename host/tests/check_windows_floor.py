#!/usr/bin/env python3
"""The shipped modules load on the oldest Windows they promise: their PE headers
name it, and a C file naming every function of their import tables compiles
against MinGW-w64's headers for it; a function that came later is undeclared.
usage: check_windows_floor.py --cc COMPILER --floor 0x0501 --work DIR MODULE...
"""
import argparse
import os
import re
import struct
import subprocess
import sys

# The headers that declare what each system DLL exports. The C runtime's are
# read at the level of msvcrt.dll as Windows XP has it (MinGW-w64's default).
WINDOWS_HEADERS = ["windows.h"]
HEADERS = {
    "kernel32.dll": WINDOWS_HEADERS,
    "user32.dll": WINDOWS_HEADERS,
    "gdi32.dll": WINDOWS_HEADERS,
    "advapi32.dll": WINDOWS_HEADERS,
    "version.dll": WINDOWS_HEADERS,
    "comctl32.dll": ["commctrl.h"],
    "shell32.dll": ["shellapi.h", "shlobj.h"],
    "ole32.dll": ["objbase.h"],
    "msvcrt.dll": ["stdio.h", "stdlib.h", "string.h", "ctype.h", "wchar.h", "locale.h", "math.h",
                   "setjmp.h", "signal.h", "errno.h", "time.h", "process.h", "io.h", "malloc.h"],
}
MSVCRT_OF_XP = "0x0700"
# windows.h first: the others build on it.
HEADER_ORDER = list(dict.fromkeys(h for headers in HEADERS.values() for h in headers))


class Module:
    """What the check reads from a 32-bit PE file: the versions in its optional
    header and its imports, {dll name: [function name, or an int for an
    import by ordinal]} in the order of the table."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] != b"MZ":
            raise ValueError("not a PE file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        if struct.unpack_from("<H", data, opt)[0] != 0x10B:
            raise ValueError("not a 32-bit PE file")
        # major and minor operating-system version at 40, subsystem version at 48
        self.os_version = struct.unpack_from("<HH", data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        self._data = data
        self._sections = [struct.unpack_from("<IIII", data, opt + optional_size + 40 * i + 8)
                          for i in range(sections)]
        import_rva = struct.unpack_from("<I", data, opt + 96 + 8)[0]
        self.imports = {}
        at = self._offset(import_rva) if import_rva else None
        while at is not None:
            lookup, _, _, name_rva, thunks = struct.unpack_from("<IIIII", data, at)
            if name_rva == 0:
                break
            entry = self._offset(lookup or thunks)
            functions = []
            while True:
                thunk = struct.unpack_from("<I", data, entry)[0]
                if thunk == 0:
                    break
                # high bit: by ordinal; otherwise a hint and a name
                functions.append(thunk & 0xFFFF if thunk & 0x80000000 else self._text(thunk + 2))
                entry += 4
            self.imports[self._text(name_rva)] = functions
            at += 20

    def _offset(self, rva):
        for virtual_size, address, raw_size, raw in self._sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return rva - address + raw
        raise ValueError("address 0x%x lies in no section" % rva)

    def _text(self, rva):
        at = self._offset(rva)
        return self._data[at:self._data.index(b"\0", at)].decode("ascii")


def startup_imports(cc, work):
    """What the compiler's own start-up code imports from the C runtime into
    every program and DLL it links, found by linking an empty program and an
    empty DLL. Some of these internals no public header declares."""
    names = set()
    source = os.path.join(work, "empty.c")
    with open(source, "w") as f:
        f.write("int main(void) { return 0; }\n")
    for flags, out in ((["-static"], "empty.exe"), (["-static", "-shared"], "empty.dll")):
        path = os.path.join(work, out)
        subprocess.run([cc, *flags, "-o", path, source], check=True)
        names.update(n for n in Module(path).imports.get("msvcrt.dll", []) if isinstance(n, str))
    return names


def check(path, cc, floor, work, startup):
    name = os.path.basename(path)
    problems = []
    module = Module(path)
    want = (floor >> 8, floor & 0xFF)
    for what, version in (("operating-system", module.os_version), ("subsystem", module.subsystem_version)):
        if version != want:
            problems.append("its PE header says %s version %d.%d, not %d.%d" % (what, *version, *want))

    lines = []
    headers = []
    for dll, functions in module.imports.items():
        known = HEADERS.get(dll.lower())
        if known is None:
            problems.append("no headers are known to declare what %s exports" % dll)
            continue
        headers += [h for h in known if h not in headers]
        lines.append('#line 1 "%s"' % dll)
        lines.append("static void uses_%s(void) {" % re.sub(r"\W", "_", dll))
        for function in functions:
            if isinstance(function, int):
                problems.append("imports ordinal %d of %s, which no header names" % (function, dll))
            else:
                lines.append("  (void)(%s);" % function)
        lines.append("}")
    source = os.path.join(work, name + ".c")
    with open(source, "w") as f:
        f.write("/* Every function %s imports, for a compiler that knows Windows 0x%04x only. */\n"
                % (name, floor))
        f.write("".join("#include <%s>\n" % h for h in HEADER_ORDER if h in headers))
        f.write("\n".join(lines) + "\n")
    defines = ["-D_WIN32_WINNT=0x%04x" % floor, "-DWINVER=0x%04x" % floor,
               "-D__MSVCRT_VERSION__=" + MSVCRT_OF_XP]
    compiled = subprocess.run([cc, "-fsyntax-only", "-Wno-unused-function", *defines, source],
                              capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    # Each line of the generated file is named after its DLL, so an error
    # reads "KERNEL32.dll:12:10: error: 'GetTickCount64' undeclared ...".
    excused, late, shown = [], [], []
    for line in compiled.stderr.splitlines():
        if ": error: " not in line:
            continue
        found = re.match(r"([^:\s]+):\d+:\d+: error: '(\w+)' undeclared", line)
        if found and found.group(1).lower() == "msvcrt.dll" and found.group(2) in startup:
            excused.append(found.group(2))
            continue
        if found:
            late.append(found.group(2))
        shown.append(line)
    sys.stderr.write("".join(line + "\n" for line in shown[:40]))
    if late:
        problems.append("imports what came after Windows 0x%04x (its headers do not declare it): %s"
                        % (floor, ", ".join(late)))
    elif shown or (compiled.returncode != 0 and not excused):
        problems.append("%s does not compile: %s" % (source, (shown or [compiled.stderr.strip()])[0]))

    if problems:
        for problem in problems:
            print("%s: %s" % (name, problem))
        return False
    count = sum(len(f) for f in module.imports.values())
    print("%s: PE header %d.%d; its %d imports from %d DLLs are all declared for Windows 0x%04x, "
          "but for %d internals of the C runtime's start-up code that every module of this compiler "
          "imports (%s)" % (name, *want, count, len(module.imports), floor, len(excused), " ".join(sorted(excused))))
    return True


def main():
    parser = argparse.ArgumentParser(description="Each MODULE must import nothing newer than Windows FLOOR.")
    parser.add_argument("--cc", required=True, help="the C compiler of the build")
    parser.add_argument("--floor", required=True, type=lambda v: int(v, 0), help="_WIN32_WINNT, e.g. 0x0501")
    parser.add_argument("--work", required=True, help="folder for the generated files")
    parser.add_argument("modules", nargs="+")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    startup = startup_imports(args.cc, args.work)
    ok = True
    for path in args.modules:
        try:
            ok = check(path, args.cc, args.floor, args.work, startup) and ok
        except (OSError, ValueError) as error:
            print("%s: %s" % (path, error))
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
