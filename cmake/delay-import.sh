#!/bin/sh
# Makes a delay-import library for a system DLL from MinGW's import library: the same functions,
# but the DLL is loaded at the first call instead of before the program's first line, and then
# from System32 only (the program restricts the DLL search first thing).
# usage: delay-import.sh IMPORT_LIBRARY DLL_NAME OUTPUT
set -eu
lib=$1
dll=$2
out=$3
mkdir -p "$(dirname "$out")"
def="$out.def"
# Functions only: a function has its thunk (T name) beside its import pointer (I __imp_name).
{
    echo "LIBRARY $dll"
    echo "EXPORTS"
    x86_64-w64-mingw32-nm "$lib" | awk '
        $2 == "T" { thunk[$3] = 1 }
        $2 == "I" && substr($3, 1, 6) == "__imp_" { pointer[substr($3, 7)] = 1 }
        END { for (name in thunk) if (name in pointer) print name }' | sort
} >"$def"
x86_64-w64-mingw32-dlltool --input-def "$def" --dllname "$dll" --output-delaylib "$out"
