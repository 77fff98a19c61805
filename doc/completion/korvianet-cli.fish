# fish completion for korvianet-cli (the same words as the bash completion)

set -l commands at call config connect db disconnect frame history monitor net pb ports run signal-history sms status traffic usage

# The command is the first word that is neither an option nor an option's argument.
function __korvianet_cli_words
    set -l words (commandline -opc)
    set -e words[1]
    set -l out
    set -l skip 0
    for w in $words
        if test $skip = 1
            set skip 0
            continue
        end
        if test (count $out) -eq 0
            switch $w
                case --device --config-dir --log-file
                    set skip 1
                    continue
                case '-*'
                    continue
            end
        end
        set -a out $w
    end
    for w in $out
        printf '%s\n' $w
    end
end

# True when the words after the options are exactly the arguments given.
function __korvianet_cli_at
    set -l words (__korvianet_cli_words)
    test (count $words) -eq (count $argv); or return 1
    for i in (seq (count $argv))
        test "$argv[$i]" = '*'; and continue
        test "$words[$i]" = "$argv[$i]"; or return 1
    end
    return 0
end

# True when the command (and subcommand) are the given ones, whatever follows.
function __korvianet_cli_in
    set -l words (__korvianet_cli_words)
    test (count $words) -ge (count $argv); or return 1
    for i in (seq (count $argv))
        test "$words[$i]" = "$argv[$i]"; or return 1
    end
    return 0
end

# A step's argument comes next (dial NUMBER, dtmf DIGITS, wait SECONDS).
function __korvianet_cli_after_step
    set -l words (__korvianet_cli_words)
    contains -- "$words[-1]" dial dtmf wait
end

complete -c korvianet-cli -f
complete -c korvianet-cli -n "__korvianet_cli_at" -l device -r -F -d "use this tty as the diagnostic port"
complete -c korvianet-cli -n "__korvianet_cli_at" -l config-dir -r -a "(__fish_complete_directories)" -d "settings folder"
complete -c korvianet-cli -n "__korvianet_cli_at" -s v -l verbose -d "write the diagnostic log to standard error"
complete -c korvianet-cli -n "__korvianet_cli_at" -l log-file -r -F -d "append the diagnostic log to FILE"
complete -c korvianet-cli -n "__korvianet_cli_at" -l json -d "print JSON (monitor: one document per line)"
complete -c korvianet-cli -n "__korvianet_cli_at" -s h -l help -d "show the help"
complete -c korvianet-cli -n "__korvianet_cli_at" -l version -d "show the version"

complete -c korvianet-cli -n "__korvianet_cli_at" -a at -d "the AT path without the DM engine"
complete -c korvianet-cli -n "__korvianet_cli_at" -a call -d "voice calls as one script of steps"
complete -c korvianet-cli -n "__korvianet_cli_at" -a config -d "settings and the data plan"
complete -c korvianet-cli -n "__korvianet_cli_at" -a connect -d "dial the data connection"
complete -c korvianet-cli -n "__korvianet_cli_at" -a db -d "the database"
complete -c korvianet-cli -n "__korvianet_cli_at" -a disconnect -d "end a running connect"
complete -c korvianet-cli -n "__korvianet_cli_at" -a frame -d "encode or decode a DIAG frame"
complete -c korvianet-cli -n "__korvianet_cli_at" -a history -d "the call history"
complete -c korvianet-cli -n "__korvianet_cli_at" -a monitor -d "one line per change of the modem's state"
complete -c korvianet-cli -n "__korvianet_cli_at" -a net -d "the data connection's state"
complete -c korvianet-cli -n "__korvianet_cli_at" -a pb -d "the phonebooks"
complete -c korvianet-cli -n "__korvianet_cli_at" -a ports -d "the serial ports found"
complete -c korvianet-cli -n "__korvianet_cli_at" -a run -d "own the modem without a window"
complete -c korvianet-cli -n "__korvianet_cli_at" -a signal-history -d "the signal kept for 30 days"
complete -c korvianet-cli -n "__korvianet_cli_at" -a sms -d "list, read, send and delete SMS"
complete -c korvianet-cli -n "__korvianet_cli_at" -a status -d "the modem's status report"
complete -c korvianet-cli -n "__korvianet_cli_at" -a traffic -d "the traffic statistics"
complete -c korvianet-cli -n "__korvianet_cli_at" -a usage -d "data usage per hour, day, month or cycle"

complete -c korvianet-cli -n "__korvianet_cli_at at" -a "status apn"
complete -c korvianet-cli -n "__korvianet_cli_in at status" -l ticks -x
complete -c korvianet-cli -n "__korvianet_cli_in call; and not __korvianet_cli_after_step" -a "dial answer dtmf wait hangup"
complete -c korvianet-cli -n "__korvianet_cli_in call" -l timeout -x
complete -c korvianet-cli -n "__korvianet_cli_at config" -a "get set dir usage"
complete -c korvianet-cli -n "__korvianet_cli_at config get; or __korvianet_cli_at config set" -a "teal_dialer.ini syskor.ini"
complete -c korvianet-cli -n "__korvianet_cli_at config usage" -a "cycle-day quota-kind quota-mb quota-warn quota-hangup"
complete -c korvianet-cli -n "__korvianet_cli_at config usage quota-kind" -a "off download upload both"
complete -c korvianet-cli -n "__korvianet_cli_at config usage quota-hangup" -a "on off"
complete -c korvianet-cli -n "__korvianet_cli_in connect" -l seconds -x
complete -c korvianet-cli -n "__korvianet_cli_in connect" -l user -x
complete -c korvianet-cli -n "__korvianet_cli_in connect" -l password-file -r -F
complete -c korvianet-cli -n "__korvianet_cli_in connect" -l password -x -a "-"
complete -c korvianet-cli -n "__korvianet_cli_at db" -a "path check history lookup"
complete -c korvianet-cli -n "__korvianet_cli_at frame" -a "encode decode"
complete -c korvianet-cli -n "__korvianet_cli_at history" -a "delete delete-all"
complete -c korvianet-cli -n "__korvianet_cli_in history" -l search -x
complete -c korvianet-cli -n "__korvianet_cli_in monitor" -l seconds -x -d "end after N seconds"
complete -c korvianet-cli -n "__korvianet_cli_in status" -l watch -d "the same as monitor"
complete -c korvianet-cli -n "__korvianet_cli_in status" -l seconds -x
complete -c korvianet-cli -n "__korvianet_cli_at net" -a status
complete -c korvianet-cli -n "__korvianet_cli_at pb" -a "list search add modify delete"
complete -c korvianet-cli -n "__korvianet_cli_at pb '*'" -a "memory ruim"
complete -c korvianet-cli -n "__korvianet_cli_in pb add" -l index -x
complete -c korvianet-cli -n "__korvianet_cli_in pb search" -l column -x -a "all index name phone"
complete -c korvianet-cli -n "__korvianet_cli_in run" -l seconds -x
complete -c korvianet-cli -n "__korvianet_cli_in run" -l pin -x
complete -c korvianet-cli -n "__korvianet_cli_at sms" -a "list read send delete delete-all"
complete -c korvianet-cli -n "__korvianet_cli_at sms list" -a "memory ruim"
complete -c korvianet-cli -n "__korvianet_cli_at sms delete-all" -a "inbox outbox"
complete -c korvianet-cli -n "__korvianet_cli_in sms send" -l callback -x
complete -c korvianet-cli -n "__korvianet_cli_in sms send" -l timeout -x
complete -c korvianet-cli -n "__korvianet_cli_in sms send" -l save
for c in usage signal-history
    complete -c korvianet-cli -n "__korvianet_cli_in $c" -l from -x
    complete -c korvianet-cli -n "__korvianet_cli_in $c" -l to -x
    complete -c korvianet-cli -n "__korvianet_cli_in $c" -l json
    complete -c korvianet-cli -n "__korvianet_cli_in $c" -l csv
end
for o in hourly daily monthly cycles
    complete -c korvianet-cli -n "__korvianet_cli_in usage" -l $o
end
