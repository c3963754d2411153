#!/usr/bin/env python3
"""Starts PROGRAM on the AT-SPI bus and prints, for each of its combo boxes in window order,
"labelled by: " and the names of what labels it (comma-separated), or "(nothing)".

    atspi_labels.py WAIT_SECONDS PROGRAM
"""
import os
import subprocess
import sys
import time

import pyatspi

wait, program = float(sys.argv[1]), sys.argv[2]
name = os.path.basename(program)
# Asking for the desktop starts the accessibility bus and its registry before the program
# looks for them.
pyatspi.Registry.getDesktop(0).childCount
app_process = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def find_application():
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.name == name and application.childCount:
            return application
    return None


def walk(node):
    yield node
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child)


try:
    deadline = time.monotonic() + wait
    application = find_application()
    while application is None and time.monotonic() < deadline and app_process.poll() is None:
        time.sleep(0.5)
        application = find_application()
    if application is None:
        sys.exit(f"{name} did not appear on the AT-SPI bus")
    for node in walk(application):
        if node.getRole() != pyatspi.ROLE_COMBO_BOX:
            continue
        labels = [relation.getTarget(index).name
                  for relation in node.getRelationSet()
                  if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
                  for index in range(relation.getNTargets())]
        print("labelled by:", ",".join(labels) or "(nothing)")
finally:
    app_process.terminate()
    app_process.wait()
