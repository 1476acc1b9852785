#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""scripts/check-layers on small trees of its own: a sound tree passes, and each kind of breach
(an include reaching up, an include that names no folder, Qt in a folder without it, a link
to a folder not allowed, a cycle) fails and names the file that breaks the rule.
Usage: check_layers_test.py SCRIPT"""
import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.abspath(sys.argv[1])


def tree(root, files):
    for path, text in files.items():
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        with open(os.path.join(root, path), 'w', encoding='utf-8') as file:
            file.write(text)


SOUND = {
    'CMakeLists.txt': 'add_subdirectory(low)\nadd_subdirectory(high)\n',
    'low/CMakeLists.txt': 'add_library(t_low Low.cpp)\n',
    'low/README.md': '# low\n\nDepends on nothing; no Qt.\n',
    'low/Low.h': '#pragma once\n#include <vector>\n',
    'low/Low.cpp': '#include "low/Low.h"\n',
    'high/CMakeLists.txt': 'add_library(t_high High.cpp)\ntarget_link_libraries(t_high t_low Qt6::Core)\n',
    'high/README.md': '# high\n\nDepends on Qt Core and\n`low/`.\nNever depends on `top/`.\n',
    'high/High.cpp': '#include <QString>\n#include "low/Low.h"\n#include "high/High.h"\n',
    'high/High.h': '#pragma once\n',
}

BREACHES = {
    'an include reaching up': ({'low/Low.cpp': '#include "high/High.h"\n'},
                               'low/Low.cpp: #include "high/High.h": low/ may not use high/'),
    'an include naming no folder': ({'high/High.cpp': '#include "High.h"\n'},
                                    'high/High.cpp: #include "High.h" names no folder'),
    'Qt where it is not allowed': ({'low/Low.h': '#include <QList>\n'},
                                   'low/Low.h: includes Qt, which low/ must not use'),
    'a link reaching up': ({'low/CMakeLists.txt': 'add_library(t_low Low.cpp)\n'
                                                  'target_link_libraries(t_low PUBLIC t_high)\n'},
                           'low/CMakeLists.txt: links t_high: low/ may not use high/'),
    'a cycle': ({'low/README.md': '# low\n\nDepends on `high/`.\n'},
                'a cycle among the allowed uses: high/ -> low/ -> high/'),
}


def check(files):
    with tempfile.TemporaryDirectory() as root:
        tree(root, {**SOUND, **files})
        return subprocess.run([sys.executable, SCRIPT, '--root', root], capture_output=True,
                              text=True, check=False)


def main():
    failures = []
    sound = check({})
    if sound.returncode != 0 or sound.stderr:
        failures.append(f'the sound tree failed: {sound.stderr}')
    for name, (files, message) in BREACHES.items():
        result = check(files)
        if result.returncode == 0 or message not in result.stderr.splitlines():
            failures.append(f'{name}: exit {result.returncode}, said {result.stderr!r}')
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


sys.exit(main())
