#!/usr/bin/env bash
# Rewrites the golden files of the XML documents from what the code writes now, after a
# deliberate change of a document. Review `git diff tests/` before committing.
# Usage: scripts/update_golden.sh   (needs the debug build)
set -euo pipefail
cd "$(dirname "$0")/.."
TG_UPDATE_GOLDEN=1 build/debug/tests/datasource/datasource_test --gtest_filter='SourceXml.*Golden*'
TG_UPDATE_GOLDEN=1 build/debug/tests/diagram/diagram_test --gtest_filter='DiagramXml.*Golden*'
git status --short tests/
