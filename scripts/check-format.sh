#!/usr/bin/env bash
# Checks that the C and C++ lines changed since a base commit follow
# .clang-format (lines nobody touched are left as they are), and that the
# whole Python package (python/gensignal, python/tests) passes flake8 and
# black --check (their settings: python/setup.cfg, python/pyproject.toml). The base is the
# first argument if given; else the commit where HEAD left main, when HEAD is
# not on main; else HEAD's first parent, which in a clean clone of main is
# main before its last commit (before the last merge: everything it brought).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# Python: every file, as it stands in the working tree.
(cd python && flake8 gensignal tests && black --check --quiet gensignal tests) || {
    echo "check-format: the Python package does not pass flake8 and black --check (black python/gensignal python/tests formats it)" >&2
    exit 1
}
echo "check-format: python/gensignal and python/tests pass flake8 and black --check"
base="${1:-}"
if [ -z "$base" ]; then
    for main in main origin/main; do
        git rev-parse -q --verify "$main^{commit}" >/dev/null || continue
        fork="$(git merge-base HEAD "$main")"
        [ "$fork" != "$(git rev-parse HEAD)" ] && base="$fork"
        break
    done
fi
if [ -z "$base" ]; then
    if ! git rev-parse -q --verify 'HEAD~1^{commit}' >/dev/null; then
        echo "check-format: HEAD has no parent here (a shallow clone?); nothing to compare with"
        exit 0
    fi
    base=HEAD~1
fi
# Compares the two commits, not the working tree; prints a diff of what
# clang-format would change, and nothing else, when something is off.
report="$(git clang-format --diff --extensions c,h,cpp "$base" HEAD)"
if [ "${report#diff }" != "$report" ]; then
    echo "check-format: lines changed since $(git rev-parse --short "$base") do not follow .clang-format:" >&2
    echo "$report" >&2
    exit 1
fi
echo "check-format: lines changed since $(git rev-parse --short "$base") follow .clang-format"
