#!/usr/bin/env bash
# A release zip as a shop would unpack it:
#   pacote.sh TRIPLET x86|x64 ZIP [STAND-IN-DLL EMULATOR]
# - it holds TesteECF.exe, LEIAME.txt and the licence, and no bemafi32.dll of any kind;
# - every program file in it is a PE of the given width, and the program imports the
#   printer library as it should (importacoes.sh);
# - every DLL that a file in it imports is in it, or is the system's, or is BEMAFI32.DLL;
# - with a stand-in DLL and the emulator: unpacked into a fresh folder, the stand-in dropped
#   beside the program, it starts under Wine and locates the emulator (ponta_a_ponta.sh).
set -uo pipefail
triplet=$1
largura=$2
zip=$(realpath "$3")
aqui=$(cd "$(dirname "$0")" && pwd)
source "$aqui/confere.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/testeecf-zip.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && cmake -E tar xf "$zip")
confere "$(basename "$zip") unpacks" $?
raiz=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
[ -n "$raiz" ] && [ "$(basename "$raiz")" = "$(basename "$zip" .zip)" ]
confere "one folder named after the zip" $? "$(basename "${raiz:-none}")"

for arquivo in TesteECF.exe LEIAME.txt LICENSE platforms/qwindows.dll styles/qwindowsvistastyle.dll; do
    [ -f "$raiz/$arquivo" ]
    confere "holds $arquivo" $?
done
[ -z "$(find "$raiz" -iname 'bemafi32*.dll')" ]
confere "holds no bemafi32.dll" $?
grep -q 'BEMAFI32.DLL' "$raiz/LEIAME.txt" && grep -q 'windows-x86' "$raiz/LEIAME.txt"
confere "LEIAME.txt says where BEMAFI32.DLL goes and which zip fits a 32-bit one" $?

mapfile -t pes < <(find "$raiz" -type f \( -iname '*.exe' -o -iname '*.dll' \) | sort)
bash "$aqui/importacoes.sh" "$triplet" "$largura" "$raiz/TesteECF.exe" "${pes[@]}" |
    sed 's/^/  /'
confere "widths and the program's import table" "${PIPESTATUS[0]}"

# The system's DLLs, by the names Wine gives them.
sistema=$(ls /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/ /usr/lib/wine/x86_64-windows/ \
    2>/dev/null | tr 'A-Z' 'a-z' | sort -u)
presentes=$(for p in "${pes[@]}"; do basename "$p"; done | tr 'A-Z' 'a-z' | sort -u)
faltam=""
for p in "${pes[@]}"; do
    for dll in $("$triplet-objdump" -p "$p" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z'); do
        case $dll in bemafi32.dll | api-ms-win-* | ext-ms-*) continue ;; esac
        grep -qxF "$dll" <<<"$presentes" && continue
        grep -qxF "$dll" <<<"$sistema" && continue
        faltam+=" $(basename "$p"):$dll"
    done
done
[ -z "$faltam" ]
confere "everything imported is in the zip or the system's" $? "$faltam"

if [ $# -ge 5 ]; then
    cp "$4" "$raiz/"
    bash "$aqui/ponta_a_ponta.sh" --so-localiza "$raiz" "$5" | sed 's/^/  /'
    confere "unpacked, with the stand-in beside it, it locates the emulator" "${PIPESTATUS[0]}"
fi

fim
