# Wine with the printer emulator on its COM1, shared by the scripts that drive the Windows
# programs (sourced; the caller owns $tmp, a fresh folder it removes).
#   PrefixoNovo                  a fresh Wine prefix in $tmp/prefixo, exported
#   EmuladorNaCom1 [OPTION...]   starts the emulator (its control channel on fd 5, its output
#                                in $tmp/emulador.txt), sets $pty and $emulador_pid, and maps
#                                Wine's COM1 to the pty; false when it did not start
loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
servidor=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

PrefixoNovo() {
    export WINEPREFIX=$tmp/prefixo WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
    # Wine takes its ANSI code page from the locale: Windows-1252, with UTF-8 file names.
    export LC_ALL=C.UTF-8
    timeout 300 "$loader" wineboot -i >/dev/null 2>&1
}

EmuladorNaCom1() {
    mkfifo "$tmp/controle" "$tmp/espera"
    exec 5<>"$tmp/controle"
    "$emulador" --sem-registro "$@" <&5 >"$tmp/emulador.txt" 2>&1 &
    emulador_pid=$!
    # Its first line is its pty; waited for with a bound, each look a short blocking read of
    # a FIFO nobody writes.
    local limite=$((SECONDS + 20))
    until grep -q '^/dev/' "$tmp/emulador.txt" || ((SECONDS >= limite)); do
        read -r -t 0.05 <>"$tmp/espera" || true
    done
    pty=$(head -n 1 "$tmp/emulador.txt")
    [[ $pty == /dev/* ]] || return 1
    # The server reads the mapping when it starts.
    "$loader" reg add 'HKEY_LOCAL_MACHINE\Software\Wine\Ports' /v COM1 /d "$pty" /f \
        >/dev/null 2>&1 || return 1
    "$servidor" -k 2>/dev/null || true
    "$servidor" -w 2>/dev/null || true
}
