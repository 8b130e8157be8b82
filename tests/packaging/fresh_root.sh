# Run inside a fresh root where only the packages were installed (scripts/package --fresh).
# "cli": every engine round trip through tavorin-cli with a non-ASCII key; "window": tavorin
# runs without a display. Usage: sh -s cli [window] <fresh_root.sh
set -eu
cd "$(mktemp -d)"
for part in "$@"; do
    case $part in
    cli)
        export KEY='Schlüssel für Grüße – 10 €'
        printf 'Grüße aus Köln, 10 € – ça va?\n' >message.txt
        head -c 100000 /dev/urandom >file.bin
        tavorin-cli --version
        test -f /usr/share/man/man1/tavorin-cli.1.gz
        test -f /usr/share/doc/tavorin-cli/copyright
        for cipher in $(tavorin-cli ciphers); do
            tavorin-cli encrypt -c "$cipher" -p 2 --key-env KEY -i message.txt -o envelope.txt
            tavorin-cli decrypt -c "$cipher" -p 2 --key-env KEY -i envelope.txt -o opened.txt
            tavorin-cli encrypt-file -c "$cipher" --key-env KEY file.bin file.tav
            tavorin-cli decrypt-file -c "$cipher" --key-env KEY file.tav file.out
            cmp message.txt opened.txt && cmp file.bin file.out
            rm envelope.txt opened.txt file.tav file.out
            echo "round trip: $cipher"
        done
        ;;
    window)
        tavorin --version
        test -f /usr/share/man/man1/tavorin.1.gz
        test -f /usr/share/doc/tavorin/copyright
        test -f /usr/share/tavorin/web/tavorin.html
        status=0
        XDG_RUNTIME_DIR=$(mktemp -d) QT_QPA_PLATFORM=offscreen timeout 5 tavorin >tavorin.log 2>&1 || status=$?
        cat tavorin.log
        [ "$status" -eq 124 ] || { echo "tavorin ended with $status instead of running"; exit 1; }
        echo "tavorin ran for 5 s on the offscreen platform"
        ;;
    esac
done
