# SPDX-License-Identifier: MIT
# Sphinx settings of the Python reference (python/CMakeLists.txt builds it with Debian's
# python3-sphinx; the version comes from the build as -D version=... -D release=...).

import os
import sys

sys.path.insert(0, os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "python")))

project = "corvexlink"
author = "The CorvexLink developers"
copyright = "The CorvexLink developers, MIT licence"
version = release = os.environ.get("CORVEXLINK_VERSION", "")

extensions = ["sphinx.ext.autodoc"]
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autodoc_type_aliases = {"Number": "corvexlink.units.Number"}
autodoc_default_options = {"members": True, "show-inheritance": True}
add_module_names = False

html_theme = "alabaster"
html_title = f"corvexlink {release} — Python reference"
html_show_sourcelink = False
html_copy_source = False
html_static_path = []

# Sphinx's own scripts no longer use jQuery or underscore.js, which it still adds for older
# themes: the pages leave them out, so the reference carries no copies of those libraries.
_FRAMEWORKS = ("jquery.js", "underscore.js", "_sphinx_javascript_frameworks_compat.js")


def _without_frameworks(app):
    scripts = getattr(app.builder, "script_files", None)
    if scripts is not None:
        scripts[:] = [script for script in scripts if os.path.basename(str(script)) not in _FRAMEWORKS]


def _drop_framework_files(app, exception):
    if exception is None:
        for name in _FRAMEWORKS:
            path = os.path.join(app.outdir, "_static", name)
            if os.path.exists(path):
                os.remove(path)


def setup(app):
    app.connect("builder-inited", _without_frameworks)
    app.connect("build-finished", _drop_framework_files)
