#!/usr/bin/python3
"""Builds the Windows zip of the command-line tools from a configured cross build, unpacks it into
a temporary directory and checks it as a Windows user meets it: one folder holding zentriq-lookup,
zentriq-poll, zentriq-gateway, the README and the licence, and programs that start from there with
no DLL of their own beside them (run through WRAPPER, such as Wine). Every fault found is listed,
then the script exits 1."""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import zipfile


def resource_faults(program, version):
    """What the file's Properties dialog and the loader would miss: the version block's strings
    (UTF-16, each value after its key and padding) and the manifest's UTF-8 code page."""
    with open(program, "rb") as f:
        data = f.read()
    faults = []
    for key, want in (("ProductName", "ZENTRIQ"), ("CompanyName", "HOLVENT"),
                      ("ProductVersion", version), ("FileVersion", f"{version}.0")):
        found = re.search(re.escape(key.encode("utf-16-le")) + rb"\0\0(?:\0\0)?((?:[ -~]\0)+)",
                          data)
        got = found.group(1).decode("utf-16-le") if found else None
        if got != want:
            faults.append(f"the version block says {key} {got!r}, expected {want!r}")
    if b">UTF-8</activeCodePage>" not in data:
        faults.append("the program's manifest does not make UTF-8 its code page")
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--wrapper", action="append", default=[],
                        help="a program to run the .exe with (such as Wine); once more for each "
                             "argument of its own")
    args = parser.parse_args()

    built = subprocess.run(["cmake", "--build", args.build_dir, "--target", "windows_zip"],
                           capture_output=True, text=True)
    if built.returncode != 0:
        print(f"FAIL building the zip:\n{built.stdout}{built.stderr}")
        return 1

    folder = f"zentriq-lookup-{args.version}-windows-x64"
    path = os.path.join(args.build_dir, "package", f"{folder}.zip")
    faults = []
    with zipfile.ZipFile(path) as archive, tempfile.TemporaryDirectory() as tmp:
        files = {name for name in archive.namelist() if not name.endswith("/")}
        wanted = {f"{folder}/{name}" for name in (
            "zentriq-lookup.exe", "zentriq-poll.exe", "zentriq-gateway.exe", "README.md",
            "LICENSE.txt", "third-party/README.txt",
            "third-party/libxlsxwriter-License.txt", "third-party/zlib-copyright.txt",
            "third-party/uPlot-LICENSE.txt")}
        if files != wanted:
            faults.append(f"the zip holds {sorted(files)}, expected {sorted(wanted)}")
        archive.extractall(tmp)
        for name in ("zentriq-lookup", "zentriq-poll", "zentriq-gateway"):
            program = os.path.join(tmp, folder, f"{name}.exe")
            if not os.path.isfile(program):
                continue
            ran = subprocess.run(args.wrapper + [program, "--version"], capture_output=True,
                                 text=True, cwd=tmp, timeout=120)
            if ran.returncode != 0 or ran.stdout.strip() != f"{name} {args.version}":
                faults.append(f"the unpacked {name}.exe gives exit status {ran.returncode} and "
                              f"{ran.stdout!r} {ran.stderr!r} for --version")
            faults += [f"{name}.exe: {fault}" for fault in resource_faults(program, args.version)]
    for fault in faults:
        print("FAIL", fault)
    print(f"{len(faults)} faults" if faults else f"{folder}.zip holds programs that run alone")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
