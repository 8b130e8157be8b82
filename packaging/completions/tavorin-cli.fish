# fish completion for tavorin-cli

set -l commands ciphers encrypt decrypt encrypt-file decrypt-file help
set -l ciphers Blowfish DES Gost Skipjack Twofish

complete -c tavorin-cli -f
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -s h -l help -d 'show the help and exit'
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -s V -l version -d 'show the version and exit'
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -a ciphers -d 'list the ciphers'
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -a encrypt -d 'encrypt a message into an envelope'
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -a decrypt -d 'open an envelope back into its message'
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -a encrypt-file -d 'encrypt a file'
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -a decrypt-file -d 'decrypt a file made by encrypt-file'
complete -c tavorin-cli -n "not __fish_seen_subcommand_from $commands" -a help -d 'show the help'

set -l work "__fish_seen_subcommand_from encrypt decrypt encrypt-file decrypt-file"
set -l message "__fish_seen_subcommand_from encrypt decrypt"
set -l opening "__fish_seen_subcommand_from decrypt decrypt-file"
complete -c tavorin-cli -n "__fish_seen_subcommand_from $commands" -s h -l help -d 'show the help of the command'
complete -c tavorin-cli -n "$work; and not $opening" -s c -l cipher -x -a "$ciphers" -d 'the cipher'
complete -c tavorin-cli -n $opening -s c -l cipher -x -a "$ciphers auto" -d 'the cipher (default: auto)'
complete -c tavorin-cli -n $work -s f -l force -d 'replace an existing destination'
complete -c tavorin-cli -n $work -l key-file -r -F -d 'read the key from the first line of FILE'
complete -c tavorin-cli -n $work -l key-env -x -a '(set -nx)' -d 'read the key from an environment variable'
complete -c tavorin-cli -n "__fish_seen_subcommand_from encrypt" -s p -l passes -x -d 'the number of passes'
complete -c tavorin-cli -n "__fish_seen_subcommand_from decrypt" -s p -l passes -x -a auto -d 'the number of passes (default: auto)'
complete -c tavorin-cli -n $message -l encoding -x -a 'windows-1252 utf-8' -d 'how the characters become bytes'
complete -c tavorin-cli -n $message -s i -l input -r -F -d 'read from FILE instead of standard input'
complete -c tavorin-cli -n $message -s o -l output -r -F -d 'write to FILE instead of standard output'
complete -c tavorin-cli -n "__fish_seen_subcommand_from encrypt" -l wrap -x -d 'fold the envelope at COLUMNS'
complete -c tavorin-cli -n "__fish_seen_subcommand_from decrypt" -s v -l verbose -d 'say which cipher and passes opened it'
complete -c tavorin-cli -n "__fish_seen_subcommand_from encrypt-file" -l bare -d 'write the frame alone, without its digest'
complete -c tavorin-cli -n "__fish_seen_subcommand_from decrypt-file" -l bare -d 'read the file as a frame alone'
complete -c tavorin-cli -n "__fish_seen_subcommand_from decrypt-file" -s v -l verbose -d 'say which cipher opened it'
complete -c tavorin-cli -n "__fish_seen_subcommand_from encrypt-file decrypt-file" -F
