#!/usr/bin/python3
"""Builds the Debian package from a configured and built tree, unpacks it into a temporary root and
checks it as a desktop would meet it: the program, its menu entry, its icons, its AppStream data
and the dependencies that make it start on a fresh system; the command-line tools and their
manuals; the gateway's systemd unit and options file, as systemd and dpkg read them. Every fault
found is listed, then the script exits 1; the temporary directory is removed either way."""

import argparse
import configparser
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ICON_SIZES = (16, 32, 48)
REQUIRED_DEPENDS = ("libqt6widgets6", "qt6-qpa-plugins")
TOOLS = ("zentriq-lookup", "zentriq-poll", "zentriq-gateway")
UNIT = "usr/lib/systemd/system/zentriq-gateway.service"
OPTIONS_FILE = "etc/default/zentriq-gateway"


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def png_size(path):
    """Width and height from a PNG's IHDR chunk, or None when the file is not a PNG."""
    with open(path, "rb") as f:
        head = f.read(24)
    if len(head) < 24 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def package_names(depends):
    """The package names in a Depends field, alternatives included, without version limits."""
    names = set()
    for alternative in re.split(r"[,|]", depends):
        name = alternative.strip().split(" ")[0].split(":")[0]
        if name:
            names.add(name)
    return names


def check_gateway_service(root, deb, faults):
    """The unit as systemd reads it, naming the program and options file the package ships; the
    options file defines what the unit passes, and dpkg keeps it as a conffile."""
    unit = os.path.join(root, UNIT)
    if not os.path.isfile(unit):
        faults.append(f"{UNIT} is missing")
        return
    with open(unit, encoding="utf-8") as f:
        text = f.read()
    exec_start = re.search(r"^ExecStart=(\S+)(.*)$", text, re.MULTILINE)
    environment = re.search(r"^EnvironmentFile=-?(\S+)$", text, re.MULTILINE)
    if not exec_start or not os.path.isfile(os.path.join(root, exec_start.group(1).lstrip("/"))):
        faults.append(f"the unit's ExecStart names no program of the package: "
                      f"{exec_start.group(0) if exec_start else None}")
    if not environment or environment.group(1) != "/" + OPTIONS_FILE:
        faults.append(f"the unit reads {environment.group(1) if environment else 'no file'}, "
                      f"not /{OPTIONS_FILE}")

    options = os.path.join(root, OPTIONS_FILE)
    if not os.path.isfile(options):
        faults.append(f"{OPTIONS_FILE} is missing")
    else:
        with open(options, encoding="utf-8") as f:
            defined = set(re.findall(r"^([A-Z_]+)=", f.read(), re.MULTILINE))
        used = set(re.findall(r"\$\{?([A-Z_]+)", exec_start.group(2) if exec_start else ""))
        if not used or not used <= defined:
            faults.append(f"ExecStart passes {sorted(used)}, {OPTIONS_FILE} defines "
                          f"{sorted(defined)}")

    conffiles = run(["dpkg-deb", "--info", deb, "conffiles"]).stdout.split()
    if conffiles != ["/" + OPTIONS_FILE]:
        faults.append(f"the conffiles are {conffiles}, not /{OPTIONS_FILE}")

    # systemd-analyze wants the program at the ExecStart path and looks the manual of
    # Documentation= up: a copy of the unit points into the unpacked tree, where MANPATH leads too.
    if exec_start:
        with tempfile.TemporaryDirectory(prefix="zentriq-unit-") as folder:
            copy = os.path.join(folder, os.path.basename(UNIT))
            with open(copy, "w", encoding="utf-8") as f:
                f.write(text.replace(f"ExecStart={exec_start.group(1)}",
                                     f"ExecStart={root}{exec_start.group(1)}"))
            result = run(["systemd-analyze", "verify", copy],
                         env=dict(os.environ, MANPATH=os.path.join(root, "usr/share/man")))
            if result.returncode != 0 or result.stderr.strip():
                faults.append("systemd-analyze verify rejects the unit:\n"
                              f"{result.stdout}{result.stderr}")


def check_tree(root, deb, app_id, version, faults):
    # The programs, and the command-line tools' manuals, which groff formats without a warning.
    for name in ("zentriq",) + TOOLS:
        program = os.path.join(root, "usr/bin", name)
        if not os.path.isfile(program):
            faults.append(f"usr/bin/{name} is missing")
        elif not os.access(program, os.X_OK):
            faults.append(f"usr/bin/{name} is not executable")
    for name in TOOLS:
        manual = os.path.join(root, "usr/share/man/man1", f"{name}.1")
        if not os.path.isfile(manual):
            faults.append(f"usr/share/man/man1/{name}.1 is missing")
            continue
        result = run(["groff", "-man", "-Tutf8", "-ww", "-z", manual])
        if result.returncode != 0 or result.stderr:
            faults.append(f"groff warns on {name}.1:\n{result.stderr}")

    check_gateway_service(root, deb, faults)

    # The menu entry, and that what it names is in the package.
    if not os.path.isfile(os.path.join(root, "usr/share/doc/zentriq/copyright")):
        faults.append("usr/share/doc/zentriq/copyright is missing")

    desktop = os.path.join(root, f"usr/share/applications/{app_id}.desktop")
    if not os.path.isfile(desktop):
        faults.append(f"usr/share/applications/{app_id}.desktop is missing")
    else:
        result = run(["desktop-file-validate", desktop])
        # Hints are advice; warnings and errors are faults a software centre would show.
        if result.returncode != 0 or re.search(r"(warning|error):", result.stdout):
            faults.append(f"desktop-file-validate rejects the desktop entry:\n{result.stdout}")
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(desktop, encoding="utf-8")
        section = entry["Desktop Entry"] if entry.has_section("Desktop Entry") else {}
        exec_name = section.get("Exec", "").split(" ")[0]
        if not exec_name or not os.path.isfile(
            os.path.join(root, exec_name.lstrip("/") if "/" in exec_name else f"usr/bin/{exec_name}")
        ):
            faults.append(f"Exec={exec_name} does not name the installed program")
        icon = section.get("Icon", "")
        for size in ICON_SIZES:
            path = os.path.join(root, f"usr/share/icons/hicolor/{size}x{size}/apps/{icon}.png")
            if not icon or not os.path.isfile(path):
                faults.append(f"Icon={icon} has no {size}x{size} hicolor PNG")

    # The hicolor icons themselves: real PNGs of the size their folder promises.
    for path in sorted(glob.glob(os.path.join(root, "usr/share/icons/hicolor/*/apps/*"))):
        folder = os.path.basename(os.path.dirname(os.path.dirname(path)))
        size = png_size(path)
        if size is None:
            faults.append(f"{os.path.relpath(path, root)} is not a PNG")
        elif f"{size[0]}x{size[1]}" != folder:
            faults.append(f"{os.path.relpath(path, root)} is {size[0]}x{size[1]}, not {folder}")

    # The AppStream data: valid, about this program, of this release.
    metainfo = os.path.join(root, f"usr/share/metainfo/{app_id}.metainfo.xml")
    if not os.path.isfile(metainfo):
        faults.append(f"usr/share/metainfo/{app_id}.metainfo.xml is missing")
    else:
        result = run(["appstreamcli", "validate", "--no-net", "--no-color", metainfo])
        if result.returncode != 0:
            faults.append(f"appstreamcli rejects the metainfo:\n{result.stdout}{result.stderr}")
        component = ET.parse(metainfo).getroot()
        if component.findtext("id") != app_id:
            faults.append(f"metainfo id is {component.findtext('id')}, not {app_id}")
        launchable = component.findtext("launchable[@type='desktop-id']")
        if launchable != f"{app_id}.desktop":
            faults.append(f"metainfo launches {launchable}, not {app_id}.desktop")
        releases = [r.get("version") for r in component.iterfind("releases/release")]
        if version not in releases:
            faults.append(f"metainfo lists releases {releases}, not {version}")

    # Nothing but the runtime files: the library, headers and CMake files stay out of the package.
    allowed = re.compile(
        r"usr/bin/zentriq(-lookup|-poll|-gateway)?"
        r"|usr/share/man/man1/zentriq-(lookup|poll|gateway)\.1"
        r"|usr/share/applications/[^/]+\.desktop|usr/share/metainfo/[^/]+\.xml"
        r"|usr/share/icons/hicolor/\d+x\d+/apps/zentriq\.png|usr/share/doc/zentriq/copyright"
        # the licence of the chart library zentriq-gateway's console carries
        r"|usr/share/doc/zentriq/uPlot-LICENSE\.txt"
        rf"|{re.escape(UNIT)}|{re.escape(OPTIONS_FILE)}"
    )
    for folder, _, files in os.walk(root):
        for name in files:
            relative = os.path.relpath(os.path.join(folder, name), root)
            if not allowed.fullmatch(relative):
                faults.append(f"the package ships {relative}, which is not a runtime file")

    # The control fields.
    fields = {}
    for field in ("Package", "Version", "Maintainer", "Depends"):
        fields[field] = run(["dpkg-deb", "-f", deb, field]).stdout.strip()
    if fields["Package"] != "zentriq":
        faults.append(f"Package is {fields['Package']!r}, not 'zentriq'")
    if fields["Version"] != version:
        faults.append(f"Version is {fields['Version']!r}, not {version!r}")
    if "support@holvent.example" not in fields["Maintainer"]:
        faults.append(f"Maintainer is {fields['Maintainer']!r}")
    missing = [name for name in REQUIRED_DEPENDS if name not in package_names(fields["Depends"])]
    if missing:
        faults.append(f"Depends lacks {', '.join(missing)}: {fields['Depends']!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--app-id", required=True)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()

    for tool in ("cpack", "dpkg-deb", "dpkg-shlibdeps", "desktop-file-validate", "appstreamcli",
                 "groff", "man", "systemd-analyze"):
        if shutil.which(tool) is None:
            print(f"FAIL: {tool} is not installed (./dev installs it)", file=sys.stderr)
            return 1

    with tempfile.TemporaryDirectory(prefix="zentriq-deb-") as tmp:
        out = os.path.join(tmp, "out")
        config = os.path.join(args.build_dir, "CPackConfig.cmake")
        result = run(["cpack", "--config", config, "-G", "DEB", "-B", out], cwd=args.build_dir)
        if result.returncode != 0:
            print(f"FAIL: cpack could not build the package:\n{result.stdout}{result.stderr}",
                  file=sys.stderr)
            return 1
        debs = glob.glob(os.path.join(out, "*.deb"))
        if len(debs) != 1:
            print(f"FAIL: cpack made {len(debs)} .deb files, expected one: {debs}", file=sys.stderr)
            return 1
        deb = debs[0]

        root = os.path.join(tmp, "root")
        result = run(["dpkg-deb", "-x", deb, root])
        if result.returncode != 0:
            print(f"FAIL: dpkg-deb -x {deb}:\n{result.stderr}", file=sys.stderr)
            return 1

        faults = []
        check_tree(root, deb, args.app_id, args.version, faults)
        if faults:
            print(f"FAIL: {os.path.basename(deb)}:", file=sys.stderr)
            for fault in faults:
                print(f"  - {fault}", file=sys.stderr)
            print(run(["dpkg-deb", "-c", deb]).stdout, file=sys.stderr)
            return 1
        print(f"{os.path.basename(deb)}: programs, manuals, menu entry, icons, metainfo, the "
              f"gateway's service and Depends are sound")
        print(run(["dpkg-deb", "-f", deb, "Depends"]).stdout.strip())
    return 0


if __name__ == "__main__":
    sys.exit(main())
