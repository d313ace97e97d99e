#!/usr/bin/env python3
"""Checks that every #include "..." in src/ runs along the layer order, lowest first:
song <- melody <- critic <- accomp <- output <- editors <- app <- gui.  A file may include its
own layer and the layers below it; every folder of src/ is one layer.  Prints
each include that runs upwards as FILE:LINE and exits 1 when there is one."""
import pathlib
import re
import sys

LAYERS = ["song", "melody", "critic", "accomp", "output", "editors", "app", "gui"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def level(path_in_src):
    """The layer index of a path relative to src/, or None outside the layers."""
    parts = pathlib.PurePosixPath(path_in_src).parts
    if not parts or parts[0] not in LAYERS:
        return None
    return LAYERS.index(parts[0])


def check(src):
    faults = []
    files = sorted(p for p in src.rglob("*") if p.suffix in (".h", ".hpp", ".cpp", ".cc"))
    for path in files:
        own = level(path.relative_to(src).as_posix())
        if own is None:
            faults.append(f"{path}: not inside a layer folder ({', '.join(LAYERS)})")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = level(match.group(1))
            if target is None:
                if (path.parent / match.group(1)).exists():
                    continue  # a file beside it, e.g. generated or local
                faults.append(f"{path}:{number}: includes \"{match.group(1)}\", outside the layers")
            elif target > own:
                faults.append(
                    f"{path}:{number}: {LAYERS[own]} includes \"{match.group(1)}\" of the higher "
                    f"layer {LAYERS[target]}")
    return files, faults


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    files, faults = check(src)
    if not files:
        print(f"no sources under {src}")
        return 1
    for fault in faults:
        print(fault)
    print(f"{len(files)} files checked, {len(faults)} includes against the layer order")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
