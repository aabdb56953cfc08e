#!/usr/bin/env python3
"""Checks the include graph of the driver's sources against its layering.

Every layer (odbc, drv_inf, scrs, xa) includes the shared contract (libsrc/drv),
its own files, the runtime support library (libsrc/util), the platform stand-ins
and the string tables, and nothing of another layer. The contract itself sees
only util and the platform. The one file that puts the layers together (the
core's dllmain.cpp) is the exception. Prints every offending edge and exits 1
when there is one.

Usage: scripts/check_includes.py [repository root]
"""

import os
import re
import sys

# Folders every layer may include besides its own.
BASE = {"libsrc/drv", "libsrc/util", "platform", "res"}

ALLOWED = {
    "libsrc/util": {"libsrc/util", "platform"},
    "libsrc/drv": {"libsrc/drv", "libsrc/util", "platform"},
    "libsrc/odbc": BASE | {"libsrc/odbc"},
    "libsrc/drv_inf": BASE | {"libsrc/drv_inf"},
    "libsrc/scrs": BASE | {"libsrc/scrs"},
    "libsrc/xa": BASE | {"libsrc/xa"},
    "platform": {"platform", "libsrc/util", "res"},
}

# The composition: binds the agent and lets the cursor layer and the XA proxy
# wrap it, so it alone sees every layer.
COMPOSITION = {
    "libsrc/odbc/module/dllmain.cpp": {"libsrc/drv_inf", "libsrc/scrs", "libsrc/xa"},
}

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".c", ".inc")
PROJECT_TOPS = ("libsrc", "platform", "res")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder(path):
    """The folder a rule speaks of: libsrc/<layer>, platform or res."""
    parts = path.split("/")
    if parts[0] == "libsrc" and len(parts) > 2:
        return "libsrc/" + parts[1]
    return parts[0]


def resolve(root, src, name):
    """The repository path an include names, or None outside the project."""
    for base in (os.path.dirname(src), "libsrc", ""):
        cand = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(os.path.join(root, cand)):
            return cand
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    bad = []
    for top in PROJECT_TOPS:
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                src = os.path.relpath(os.path.join(dirpath, name), root)
                src_folder = folder(src)
                allowed = ALLOWED.get(src_folder)
                if allowed is None:
                    continue
                allowed = allowed | COMPOSITION.get(src, set())
                with open(os.path.join(root, src), encoding="utf-8", errors="replace") as f:
                    for lineno, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = resolve(root, src, m.group(2))
                        if target is None:
                            # System headers, and headers generated into the build tree.
                            continue
                        if folder(target) not in allowed:
                            bad.append(f"{src}:{lineno}: {src_folder} -> {folder(target)} "
                                       f"({m.group(2)})")
    for edge in bad:
        print(edge)
    if bad:
        print(f"check_includes: {len(bad)} include(s) cross the layering", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
