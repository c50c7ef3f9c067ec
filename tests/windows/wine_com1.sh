# Wine with the printer emulator on its COM1, shared by the scripts that drive the Windows
# programs (sourced; the caller owns $tmp, a fresh folder it removes).
#   PrefixoNovo                  a fresh Wine prefix in $tmp/prefixo, exported
#   EmuladorNaCom1 [OPTION...]   starts the emulator (its control channel on fd 5, its output
#                                in $tmp/emulador.txt), sets $pty and $emulador_pid, and maps
#                                Wine's COM1 to the pty and COM2 to COM15 to nothing; false
#                                when it did not start
#   OutroEmulador NAME [OPTION...]  one more emulator (output in $tmp/emulador-NAME.txt, pid
#                                appended to $outros_emuladores) for the next COM name
#   MapeiaPortas                 maps COM1, COM2 ... to $portas, the rest to nothing (after
#                                OutroEmulador; it restarts the Wine server)
#   EncerraWine                  ends the emulators and the prefix's Wine server, and removes
#                                $tmp (for the caller's EXIT trap)
#   LinhaLivre                   true when no process but the emulator holds the pty open
#   PortasSoNossas               true when COM1 to COM15 lead only to our emulators' ptys or
#                                to nothing (once a Wine program has run since the mapping)
loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
servidor=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

PrefixoNovo() {
    export WINEPREFIX=$tmp/prefixo WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
    # Wine takes its ANSI code page from the locale: Windows-1252, with UTF-8 file names.
    export LC_ALL=C.UTF-8
    timeout 300 "$loader" wineboot -i >/dev/null 2>&1
}

portas=()            # the ptys on COM1, COM2 ..., in order
outros_emuladores=() # the pids of OutroEmulador's

# Waits for an emulator's first line, its pty, and prints it; false when none came.
PtyDoEmulador() { # OUTPUT_FILE
    # Waited for with a bound, each look a short blocking read of a FIFO nobody writes.
    local limite=$((SECONDS + 20))
    [ -p "$tmp/espera" ] || mkfifo "$tmp/espera"
    until grep -q '^/dev/' "$1" || ((SECONDS >= limite)); do
        read -r -t 0.05 <>"$tmp/espera" || true
    done
    local linha
    linha=$(head -n 1 "$1")
    [[ $linha == /dev/* ]] && echo "$linha"
}

# Wine gives the machine's own serial ports (/dev/ttyS0, its console here) the COM names
# left free, and "Default" opens COM1 to COM15: every one of them is named here, those
# without an emulator after files that do not exist, so the probe reaches ours alone. The
# server reads the mapping when it starts.
MapeiaPortas() {
    local n
    {
        printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        for n in $(seq 1 15); do
            printf '"COM%d"="%s"\r\n' "$n" "${portas[n - 1]:-$tmp/sem-porta-com$n}"
        done
    } >"$tmp/portas.reg"
    "$loader" reg import "Z:$tmp/portas.reg" >/dev/null 2>&1 || return 1
    "$servidor" -k 2>/dev/null || true
    "$servidor" -w 2>/dev/null || true
}

EmuladorNaCom1() {
    mkfifo "$tmp/controle"
    exec 5<>"$tmp/controle"
    "$emulador" --sem-registro "$@" <&5 >"$tmp/emulador.txt" 2>&1 &
    emulador_pid=$!
    pty=$(PtyDoEmulador "$tmp/emulador.txt") || return 1
    portas=("$pty")
    MapeiaPortas
}

OutroEmulador() {
    local nome=$1 controle outro
    shift
    mkfifo "$tmp/controle-$nome"
    exec {controle}<>"$tmp/controle-$nome"
    "$emulador" --sem-registro "$@" <&"$controle" >"$tmp/emulador-$nome.txt" 2>&1 &
    outros_emuladores+=($!)
    outro=$(PtyDoEmulador "$tmp/emulador-$nome.txt") || return 1
    portas+=("$outro")
}

PortasSoNossas() {
    local n alvo
    for n in $(seq 1 15); do
        alvo=$(readlink "$WINEPREFIX/dosdevices/com$n") || continue
        if ((n <= ${#portas[@]})); then
            [ "$alvo" = "${portas[n - 1]}" ] || return 1
        else
            [ "$alvo" = "$tmp/sem-porta-com$n" ] && [ ! -e "$alvo" ] || return 1
        fi
    done
}

LinhaLivre() {
    local fd
    for fd in /proc/[0-9]*/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$pty" ] || continue
        case $fd in /proc/$emulador_pid/*) continue ;; esac
        return 1
    done
}

EncerraWine() {
    local p
    for p in "${outros_emuladores[@]}" ${emulador_pid:+"$emulador_pid"}; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    WINEPREFIX=$tmp/prefixo "$servidor" -k 2>/dev/null || true
    rm -rf "$tmp"
}
