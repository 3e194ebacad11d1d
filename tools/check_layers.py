#!/usr/bin/env python3
"""Keeps the include graph one-way: a unit may include only units listed
before it in LAYERS (or in the same group), never one after it.

    tools/check_layers.py [SOURCE_DIR]

A unit is a header with its source (src/PDFLib/uPDFCMap.h and .cpp are the unit
uPDFCMap). Includes in angle brackets and of generated tables (.inc) are not
units. Prints every include that runs upward or names an unlisted unit, and
exits 1 when there is one; a test (ctest: check_layers) runs it."""
import os
import re
import sys

# Lowest first. Units in one group may include each other's headers only when
# that makes no loop; a unit never includes one of a later group.
LAYERS = [
    # src/platform: the platform at the edge
    ["CodePage", "ResourceData", "SettingsStore", "Shell", "SystemFonts", "TempFile"],
    # src/PDFLib: the engine
    ["uPDFExtra", "uPDFStatus"],
    ["uPDFFlate", "uPDFLZW", "uPDFAscii85", "uPDFHexRunLength", "uPDFFax"],
    ["uPDFLibCrypto"],
    ["uPDFDigest", "uPDFEncrypt", "uPDFPassword"],
    ["uPDFStructure"],
    ["uPDFXRef", "uPDFBudget"],
    ["uPDFSecurity"],
    ["uPDFImage"],
    ["uPDFOCR"],
    ["uPDFFontConst", "uPDFCMap", "uPDFTrueTypeParser"],
    ["uPDFFontProgram"],
    ["uPDFType1", "uPDFTrueTypeRasterizer"],
    ["uPDFFontCollection"],
    ["uPDFTextFunnel"],
    ["uPDFRenderer", "uPDFExtractor"],
    ["uPDFPageTree"],
    ["uPDFDocument"],
    ["uPDFPageText", "uPDFMetadata", "uPDFOutline"],
    ["uPDFEngine"],
    # src/app: the run logic, settings and layouts, free of any GUI
    ["Names"],
    ["Utility", "Report"],
    ["PDFCommon", "ReadingOrder"],
    ["PageJSON", "Markdown"],
    ["option"],
    ["main"],
    # the hosts
    ["Batch", "PageWorkers"],
    ["cli/main", "vorlith"],
    ["GuiUtility", "Translation", "Images"],
    ["InputString", "RegBox", "frmOption"],
    ["frmMain"],
    ["gui_main"],
]

SOURCE_FOLDERS = ["src/platform", "src/PDFLib", "src/app", "src/cli", "src/gui", "python"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unit_of(path):
    """The unit a file belongs to: its name without extension; the console
    program's main is cli/main, apart from the run logic's main."""
    stem = os.path.splitext(os.path.basename(path))[0]
    if stem == "main" and os.path.basename(os.path.dirname(path)) == "cli":
        return "cli/main"
    return stem


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    rank = {}
    for level, group in enumerate(LAYERS):
        for unit in group:
            rank[unit] = level
    headers = {}  # header file name -> unit
    files = []
    for folder in SOURCE_FOLDERS:
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    path = os.path.join(dirpath, name)
                    files.append(path)
                    if name.endswith(".h"):
                        headers[name] = unit_of(path)
    faults = []
    edges = {}
    for path in files:
        unit = unit_of(path)
        where = os.path.relpath(path, root)
        if unit not in rank:
            faults.append(f"{where}: the unit {unit} is not in the list of layers")
            continue
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for name in INCLUDE.findall(text):
            base = os.path.basename(name)
            if base.endswith(".inc") or base not in headers:
                continue  # generated tables, and headers of other trees (tests, Qt's generated files)
            target = headers[base]
            if target == unit:
                continue
            if target not in rank:
                continue  # reported above as a unit of no layer
            if rank[target] > rank[unit]:
                faults.append(f"{where}: includes {name}, a unit of a higher layer ({target} over {unit})")
            edges.setdefault(unit, set()).add(target)
    # Loops within a group.
    state = {}

    def visit(unit, stack):
        state[unit] = 1
        stack.append(unit)
        for target in sorted(edges.get(unit, ())):
            if state.get(target) == 1:
                faults.append("a loop of includes: " + " -> ".join(stack[stack.index(target):] + [target]))
            elif target not in state:
                visit(target, stack)
        stack.pop()
        state[unit] = 2

    for unit in sorted(edges):
        if unit not in state:
            visit(unit, [])
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"{len(files)} files, {len(rank)} units in {len(LAYERS)} layers: every include runs down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
