"""The viewer's accessible tree as an AT-SPI client sees it; run by check-accessibility."""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def find_app():
    for _ in range(100):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name in ("frolix-viewer", "Frolix viewer"):
                return app
        time.sleep(0.1)
    sys.exit("FAIL  the viewer never showed up on the accessibility bus")


def walk(node, depth=0, out=None):
    out = [] if out is None else out
    out.append((depth, node))
    for child in node:
        if child is not None:
            walk(child, depth + 1, out)
    return out


def states(node):
    s = node.getState()
    return {name for name, state in (("checked", pyatspi.STATE_CHECKED), ("selected", pyatspi.STATE_SELECTED),
                                     ("focused", pyatspi.STATE_FOCUSED), ("focusable", pyatspi.STATE_FOCUSABLE))
            if s.contains(state)}


def describe(node):
    return f"{node.getRoleName()} \"{node.name}\""


def focused(app):
    for _, node in walk(app):
        if "focused" in states(node) and node.getRole() not in (pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_FRAME):
            return node
    return None


def listen(seconds, kinds, action=None):
    """Events of the given kinds from the viewer during `seconds`, after `action`."""
    seen = []

    def on_event(event):
        try:
            seen.append((time.monotonic(), event.type, event.source.getRoleName(), event.source.name))
        except Exception:  # the source may be gone already
            pass

    pyatspi.Registry.registerEventListener(on_event, *kinds)
    if action:
        GLib.timeout_add(100, lambda: action() and False)
    GLib.timeout_add(int(seconds * 1000), lambda: pyatspi.Registry.stop() and False)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(on_event, *kinds)
    return seen


def key(name):
    subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=True)
    time.sleep(0.3)


app = find_app()
time.sleep(1.0)
tree = walk(app)
print("The accessible tree:")
for depth, node in tree:
    if node.getRole() == pyatspi.ROLE_LIST_ITEM and node.getIndexInParent() > 2:
        continue  # the lists' further entries
    extra = f" description \"{node.description}\"" if node.description else ""
    print("  " * depth + describe(node) + extra + " " + ",".join(sorted(states(node))))

by_name = {}
for _, node in tree:
    by_name.setdefault((node.getRoleName(), node.name), node)

print("\nNames and roles:")
for role, name in [("push button", "Play"), ("push button", "Stop"), ("check box", "Transparent"),
                   ("check box", "AutoSize"), ("radio button", "No Stretch"), ("radio button", "Stretch"),
                   ("radio button", "Proportional"), ("radio button", "Normal Sequence"),
                   ("radio button", "Reverse Sequence"), ("radio button", "Pingpong Sequence"),
                   ("list", "Folder"), ("list", "File"), ("animation", "Animation"),
                   ("status bar", "22 Frames")]:
    check((role, name) in by_name, f"{role} \"{name}\"")
check(app[0].getRole() == pyatspi.ROLE_FRAME and app[0].name == "Animation GIF OCX Trevik",
      "the window is a frame named by its title: " + describe(app[0]))
groupings = [node for _, node in tree if node.name in ("Stretch Mode", "Sequence")]
check(len(groupings) == 2 and all(n.getRole() in (pyatspi.ROLE_GROUPING, pyatspi.ROLE_PANEL) for n in groupings),
      "the two frames as groupings: " + ", ".join(describe(n) for n in groupings))
combo = [node for _, node in tree if node.getRole() == pyatspi.ROLE_COMBO_BOX]
check(len(combo) == 1 and combo[0].description == "Drive", "the drive list: a combo box described as \"Drive\"")
frolix = by_name.get(("animation", "Animation"))
check(frolix is not None and frolix.description.startswith("Frame ") and frolix.description.endswith(" of 22"),
      "the animation describes the frame shown and the frame count: " + (frolix.description if frolix else ""))
status = [node for _, node in tree if node.getRole() == pyatspi.ROLE_STATUS_BAR]
check(len(status) == 2, "two status texts: " + ", ".join(describe(n) for n in status))

print("\nStates:")
check("checked" in states(by_name[("check box", "Transparent")]), "Transparent is checked")
check("checked" not in states(by_name[("check box", "AutoSize")]), "AutoSize is not checked")
check("checked" in states(by_name[("radio button", "No Stretch")]), "No Stretch is checked")
check("checked" in states(by_name[("radio button", "Normal Sequence")]), "Normal Sequence is checked")
folder_items = [child for child in by_name[("list", "Folder")] if child is not None]
check(any("selected" in states(i) for i in folder_items),
      "the current folder is selected in the folder list: "
      + ", ".join(describe(i) for i in folder_items if "selected" in states(i)))

print("\nTab order (keys pressed with xdotool):")
start = focused(app)
check(start is not None and start.getRole() == pyatspi.ROLE_COMBO_BOX, "focus starts at the drive list: "
      + (describe(start) if start else "nothing focused"))
walked = []
for _ in range(10):
    key("Tab")
    node = focused(app)
    walked.append(describe(node) if node else "nothing")
print("  " + " -> ".join(walked))
expected = ["list \"Folder\"", "list \"File\"", "push button \"Play\"", "push button \"Stop\"",
            "animation \"Animation\"", "radio button \"No Stretch\"", "radio button \"Normal Sequence\"",
            "check box \"Transparent\"", "check box \"AutoSize\""]
check(walked[:9] == expected and "combo box" in walked[9], "Tab visits the controls in the designed order and wraps")

print("\nAnnouncements:")
events = listen(3.0, ["object:property-change:accessible-name"])
frame_shown = [e for e in events if e[2] == "status bar" and e[3].startswith("Frame ")]
print(f"  the frame shown, announced while the logo played 3 s: {[e[3] for e in frame_shown]}")
check(1 <= len(frame_shown) <= 4, f"{len(frame_shown)} announcements of the frame shown in 3 s")
gaps = [b[0] - a[0] for a, b in zip(frame_shown, frame_shown[1:])]
check(all(g >= 0.9 for g in gaps), "at least about a second apart: " + ", ".join(f"{g:.2f} s" for g in gaps))


def load_from_file_list():
    # Focus is back on the drive list after the full round: two Tabs to the file list,
    # then Space selects its one file.
    key("Tab")
    key("Tab")
    key("space")
    return False


events = listen(2.0, ["object:property-change:accessible-name"], load_from_file_list)
counts = [e[3] for e in events if e[2] == "status bar" and e[3].endswith(" Frames")]
now = {describe(n) for _, n in walk(app) if n.getRole() == pyatspi.ROLE_STATUS_BAR}
check("4 Frames" in counts, f"loading animation.gif announces the frame count: {counts} (status texts now {now},"
      f" focus on {describe(focused(app))})")

print("\nThe animation's menu and its frame details (keys pressed with xdotool):")
for _ in range(20):
    node = focused(app)
    if node is not None and node.getRole() != pyatspi.ROLE_COMBO_BOX and node.name == "Animation":
        break
    key("Tab")
check(focused(app) is not None and focused(app).name == "Animation", "Tab reaches the animation")


def walk_the_menu():
    # Menus are popups, which are no child of the application: a screen reader follows
    # them by the focus moving over their items. Up from the first item wraps to the last.
    for name in ("shift+F10", "Down", "Down", "Up", "Up"):
        key(name)
    return False


events = listen(3.0, ["object:state-changed:focused", "focus:"], walk_the_menu)
menu_items = {e[3]: e[2] for e in events if e[2] in ("menu item", "menu")}
print("  focus went over the menu items: " + ", ".join(menu_items))
for name in ("Stop", "Next frame", "Frame details…"):
    check(menu_items.get(name) == "menu item", f"the menu reads \"{name}\" as a menu item")
key("Return")
dialog = None
for _ in range(30):
    dialog = next((n for _, n in walk(app) if n.getRole() == pyatspi.ROLE_DIALOG and n.name == "Frame details"), None)
    if dialog is not None:
        break
    time.sleep(0.1)
check(dialog is not None, "Frame details opens as a dialog a screen reader names")
if dialog is not None:
    inside = walk(dialog)
    names = {describe(n) for _, n in inside}
    labels = [n.name for _, n in inside if n.getRole() == pyatspi.ROLE_LABEL]
    print("  labels: " + ", ".join(labels))
    check(any(n.getRole() == pyatspi.ROLE_TABLE and n.name == "Frames" for _, n in inside),
          "its table of frames is a table named \"Frames\"")
    check("File: animation.gif" in labels and "Frames: 4" in labels, "its fields are read with their captions")
    key("Escape")

print("\n" + ("all checks passed" if not failures else f"{len(failures)} checks failed"))
sys.exit(1 if failures else 0)
