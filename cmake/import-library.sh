#!/bin/sh
# Libraries made from MinGW's import library of a system DLL, for the same functions:
#   delay  a delay-import library: the DLL is loaded at the first call instead of before the
#          program's first line, and then from System32 only (the program restricts the DLL
#          search first thing)
#   stubs  a module-definition file that exports every function as the one function
#          planted_stub (the test's stand-in for a DLL planted beside the program)
# usage: import-library.sh delay|stubs IMPORT_LIBRARY DLL_NAME OUTPUT
set -eu
mode=$1
lib=$2
dll=$3
out=$4
mkdir -p "$(dirname "$out")"
# Functions only: a function has its thunk (T name) beside its import pointer (I __imp_name).
functions() {
    x86_64-w64-mingw32-nm "$lib" | awk '
        $2 == "T" { thunk[$3] = 1 }
        $2 == "I" && substr($3, 1, 6) == "__imp_" { pointer[substr($3, 7)] = 1 }
        END { for (name in thunk) if (name in pointer) print name }' | sort
}
case $mode in
delay)
    { echo "LIBRARY $dll"; echo "EXPORTS"; functions; } >"$out.def"
    x86_64-w64-mingw32-dlltool --input-def "$out.def" --dllname "$dll" --output-delaylib "$out"
    ;;
stubs)
    { echo "LIBRARY $dll"; echo "EXPORTS"; functions | sed 's/$/=planted_stub/'; } >"$out"
    ;;
*)
    echo "usage: import-library.sh delay|stubs IMPORT_LIBRARY DLL_NAME OUTPUT" >&2
    exit 64
    ;;
esac
