#!/usr/bin/python3
"""Installs the Development component of a built tree into a temporary prefix, then builds and
runs a separate consumer project against it with find_package(ZentriqConversion 1.0), as a
developer outside the project would. Also checks that only the public headers are installed and
that a request for the next major version is refused. The temporary directory is removed either
way; any fault exits 1 with the failing step's output."""

import argparse
import os
import subprocess
import sys
import tempfile

PUBLIC_HEADERS = {
    "conversion": {"address_map.h", "captured_frame.h", "device_map.h", "octal_digits.h"},
    "modbus": {"checksums.h", "frame_mode.h", "frame_text.h", "function_codes.h",
               "function_data.h"},
}


class Fault(Exception):
    pass


def step(what, args, expect_ok=True):
    result = subprocess.run(args, capture_output=True, text=True)
    if (result.returncode == 0) != expect_ok:
        raise Fault(f"{what} {'failed' if expect_ok else 'unexpectedly succeeded'} "
                    f"(exit {result.returncode}): {' '.join(args)}\n{result.stdout}{result.stderr}")
    return result.stdout + result.stderr


def configure(args, consumer, build, prefix, wanted):
    return [
        "cmake", "-S", consumer, "-B", build, "-G", args.generator,
        f"-DCMAKE_MAKE_PROGRAM={args.make_program}",
        f"-DCMAKE_CXX_COMPILER={args.cxx_compiler}",
        f"-DCMAKE_BUILD_TYPE={args.build_type}",
        # The archive was compiled with these flags; under the sanitizers it needs their run-time
        # libraries, so the consumer is built with the same ones and runs instrumented too.
        f"-DCMAKE_CXX_FLAGS={args.cxx_flags}",
        f"-DCMAKE_EXE_LINKER_FLAGS={args.exe_linker_flags}",
        f"-DCMAKE_PREFIX_PATH={prefix}",
        # Only the temporary prefix may satisfy the lookup, never a tree registered elsewhere.
        "-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF",
        "-DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF",
        f"-DZENTRIQ_WANTED_VERSION={wanted}",
    ]


def check(args, tmp):
    prefix = os.path.join(tmp, "prefix")
    step("install", ["cmake", "--install", args.build_dir, "--prefix", prefix,
                     "--component", "Development"])

    include = os.path.join(prefix, "include", "zentriq")
    folders = set(os.listdir(include)) if os.path.isdir(include) else set()
    if folders != set(PUBLIC_HEADERS):
        raise Fault(f"include/zentriq holds {sorted(folders)}, expected {sorted(PUBLIC_HEADERS)}")
    for folder, public in PUBLIC_HEADERS.items():
        installed = set(os.listdir(os.path.join(include, folder)))
        if installed != public:
            raise Fault(f"include/zentriq/{folder} holds {sorted(installed)}, "
                        f"expected exactly {sorted(public)}")

    build = os.path.join(tmp, "consumer")
    step("configure consumer", configure(args, args.consumer, build, prefix, "1.0"))
    step("build consumer", ["cmake", "--build", build])
    print(step("run consumer", [os.path.join(build, "consumer")]).strip())

    output = step("configure consumer asking for 2.0",
                  configure(args, args.consumer, os.path.join(tmp, "consumer2"), prefix, "2.0"),
                  expect_ok=False)
    if "compatible with requested version" not in output:
        raise Fault(f"asking for 2.0 failed for another reason than the version:\n{output}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--consumer", required=True)
    parser.add_argument("--generator", required=True)
    parser.add_argument("--make-program", required=True)
    parser.add_argument("--cxx-compiler", required=True)
    parser.add_argument("--build-type", default="")
    parser.add_argument("--cxx-flags", default="")
    parser.add_argument("--exe-linker-flags", default="")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="zentriq-cmake-package-") as tmp:
        try:
            check(args, tmp)
        except Fault as fault:
            print(f"FAIL: {fault}", file=sys.stderr)
            return 1
    print("find_package(ZentriqConversion 1.0) works; 2.0 is refused")
    return 0


if __name__ == "__main__":
    sys.exit(main())
