#!/usr/bin/python3
"""Prints the accessibility tree of one application as JSON: every showing
component's role, name and extents in desktop coordinates."""
import json
import sys

import pyatspi


def walk(node, out, depth=0):
    if node is None or depth > 40:
        return
    try:
        states = node.getState()
        if states.contains(pyatspi.STATE_SHOWING):
            e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            out.append({"role": node.getRoleName(), "name": node.name or "",
                        "x": e.x, "y": e.y, "width": e.width, "height": e.height})
    except (NotImplementedError, AttributeError):
        pass
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), out, depth + 1)


def main():
    out = []
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == sys.argv[1]:
            walk(app, out)
    print(json.dumps(out))


if __name__ == "__main__":
    main()
