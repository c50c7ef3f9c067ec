# The checks' report shared by the test scripts here (sourced): one PASS or FAIL line a check,
# then the closing count.
passou=0
falhou=0
confere() { # NAME STATUS [DETAIL]
    if [ "$2" -eq 0 ]; then
        echo "PASS: $1"
        passou=$((passou + 1))
    else
        echo "FAIL: $1${3:+: $3}"
        falhou=$((falhou + 1))
    fi
}
# Prints the count and ends the script: 0 when every check passed.
fim() {
    echo "$passou passed, $falhou failed"
    [ "$falhou" -eq 0 ] && exit 0
    exit 1
}
