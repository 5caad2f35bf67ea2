#!/bin/bash
# The house count of code: lines of .cpp and .h files that are neither blank nor
# comments, for tests (tests/ and bench/) against the product (src/, engines/,
# apps/), and the e2e scripts' lines beside them.
set -euo pipefail
cd "$(dirname "$0")/.."

# Counts lines that hold code, leaving out // lines and /* ... */ blocks.
code_lines() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null |
    xargs -0 -r awk '
      FNR == 1 { inblock = 0 }
      { line = $0; gsub(/R"\(([^)]|\)[^"])*\)"/, "\"\"", line); gsub(/"([^"\\]|\\.)*"/, "\"\"", line); gsub(/\047([^\047\\]|\\.)*\047/, "0", line) }
      inblock { if (sub(/.*\*\//, "", line)) inblock = 0; else next }
      {
        while (match(line, /\/\*/)) {
          rest = substr(line, RSTART + 2)
          if (match(rest, /\*\//)) line = substr(line, 1, index(line, "/*") - 1) substr(rest, RSTART + 2)
          else { line = substr(line, 1, index(line, "/*") - 1); inblock = 1; break }
        }
        gsub(/^[ \t]+|[ \t]+$/, "", line)
        if (line != "" && line !~ /^\/\//) n++
      }
      END { print n + 0 }' |
    awk '{ s += $1 } END { print s + 0 }'
}

tests=$(code_lines tests bench)
product=$(code_lines src engines apps)
e2e=$(find tests/e2e -type f \( -name '*.sh' -o -name '*.py' \) -print0 | xargs -0 cat | wc -l)
echo "tests+bench: $tests"
echo "src+engines+apps: $product"
awk -v t="$tests" -v p="$product" 'BEGIN { printf "ratio: %.1f%%\n", 100 * t / p }'
echo "e2e scripts: $e2e"
