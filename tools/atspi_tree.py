#!/usr/bin/python3
"""Prints the accessibility tree of a running application as AT-SPI exposes it and checks
that every control the user can reach has a name.

    atspi_tree.py APP_NAME_PART [TIMEOUT_S]

Exit status 0 when the application was found and every push button, list, table, tree,
combo box and menu item has a non-empty name or a label; 1 otherwise.
"""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

NAMED_ROLES = {"push button", "list", "table", "tree", "tree table", "combo box", "menu item", "animation"}
MAX_NODES = 2000


def find_app(part, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and part in (app.get_name() or ""):
                return app
        time.sleep(0.2)
    return None


def labelled_by(node):
    for relation in node.get_relation_set() or []:
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY and relation.get_n_targets() > 0:
            return relation.get_target(0).get_name() or ""
    return ""


def walk(node, depth, problems, seen):
    if node is None or seen[0] >= MAX_NODES:
        return
    seen[0] += 1
    role = node.get_role_name()
    name = node.get_name() or ""
    states = node.get_state_set()
    enabled = states.contains(Atspi.StateType.ENABLED)
    showing = states.contains(Atspi.StateType.SHOWING)
    label = labelled_by(node)
    print(f"{'  ' * depth}{role}: {name!r}{f' labelled by {label!r}' if label else ''}"
          f"{'' if enabled else ' (disabled)'}{'' if showing else ' (hidden)'}")
    if role in NAMED_ROLES and showing and not (name or label):
        problems.append(f"{role} without a name at depth {depth}")
    # The rows of the lists are data, not controls; one level is enough to show them.
    if role in ("table", "tree table", "tree", "list") and depth > 0:
        return
    for i in range(node.get_child_count()):
        walk(node.get_child_at_index(i), depth + 1, problems, seen)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    app = find_app(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 10)
    if app is None:
        print(f"no application named like {sys.argv[1]!r} on the accessibility bus", file=sys.stderr)
        return 1
    problems = []
    walk(app, 0, problems, [0])
    for problem in problems:
        print("UNNAMED:", problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
