#!/usr/bin/env bash
# Each window's header is included only by its own unit and by the program object, which
# alone knows every window. Prints the includes that break this and fails.
set -euo pipefail
src="$1"
status=0
for window in main Parts tool env title new replace transparts OverviewForm Forms; do
  while IFS= read -r hit; do
    file="${hit%%:*}"
    base="$(basename "$file")"
    case "$base" in
      "$window.cpp" | "$window.h" | Program.cpp | Program.h) ;;
      *) echo "$hit"; status=1 ;;
    esac
  done < <(grep -rn --include='*.cpp' --include='*.h' "#include \"$window.h\"" "$src" || true)
done
exit $status
