#!/usr/bin/env bash
# Checks Windows executables and DLLs without running them, so that the 32-bit build is
# checked on machines that cannot run it:
#   importacoes.sh TRIPLET x86|x64 PROGRAM.exe [OTHER.dll ...]
# - every file is a PE of the given width;
# - PROGRAM imports BEMAFI32.DLL by an ordinary import, exactly the seven functions, by
#   their undecorated names, and names them nowhere else (no delayed or run-time loading).
set -uo pipefail
triplet=$1
largura=$2
programa=$3
shift 2
objdump=$triplet-objdump
objcopy=$triplet-objcopy
source "$(dirname "$0")/confere.sh"

case $largura in
x86) formato=pei-i386 ;;
x64) formato=pei-x86-64 ;;
*) echo "width must be x86 or x64" >&2; exit 2 ;;
esac

for arquivo in "$@"; do
    achado=$("$objdump" -f "$arquivo" 2>&1 | sed -n 's/.*file format //p')
    [ "$achado" = "$formato" ]
    confere "$(basename "$arquivo") is $formato" $? "$achado"
done

esperadas="Bematech_FI_AbrePortaSerial
Bematech_FI_FechaPortaSerial
Bematech_FI_LeituraX
Bematech_FI_ReloadINIFile
Bematech_FI_RetornoImpressoraMFD
Bematech_FI_SelecionaIniLocal
Bematech_FI_VerificaEstadoImpressoraMFD"

# The names listed under BEMAFI32.DLL in the import tables, up to the next DLL.
importadas=$("$objdump" -p "$programa" | awk '
    /DLL Name:/ { dentro = (toupper($3) == "BEMAFI32.DLL"); next }
    dentro && NF == 0 { dentro = 0 }
    dentro && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print $3 }' | sort)
[ "$importadas" = "$esperadas" ]
confere "imports exactly the seven functions from BEMAFI32.DLL" $? "$(echo $importadas)"

# The data directory's entry for delayed imports is empty.
atraso=$("$objdump" -p "$programa" | awk '/Delay Import Directory/ { print $3 }')
[ -n "$atraso" ] && [ $((16#$atraso)) -eq 0 ]
confere "no delayed imports" $? "$atraso"

# Stripped of symbols and debug information, the program holds each name only where the
# import table does: a program that loaded the DLL itself would hold them once more.
temporario=$(mktemp)
trap 'rm -f "$temporario"' EXIT
"$objcopy" --strip-all "$programa" "$temporario"
vezes=$(grep -a -o 'Bematech_FI_[A-Za-z]*' "$temporario" | sort | uniq -c | awk '$1 != 1' | wc -l)
total=$(grep -a -o 'Bematech_FI_[A-Za-z]*' "$temporario" | wc -l)
[ "$vezes" -eq 0 ] && [ "$total" -eq 7 ]
confere "the seven names stand only in the import table" $? "$total occurrences"
dll=$(grep -a -o -i 'bemafi32\.dll' "$temporario" | wc -l)
[ "$dll" -eq 1 ]
confere "the DLL is named only in the import table" $? "$dll occurrences"

fim
