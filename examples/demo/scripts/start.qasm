; The demo game's start script.
;
; $init@GLOBAL runs once when the program starts; then the main thread
; starts at `main` (and again whenever the game returns to the title).

.function $init@GLOBAL
    line 1
    push_s "demo: initialised"
    syscall_discard debugout, 1
    return

main:
    line 10
    push_s "demo: the main thread starts"
    syscall_discard debugout, 1

    ; A second thread ticks beside the main one: ticker("tick", 5).
    push_i 5
    push_s "tick"
    push_i &$ticker@GLOBAL
    syscall_discard thread_create, 3

    push_i 0
    st_i_pop @line
lines:
    line 20
    load i @line
    push_i 3
    lt_i
    jmp_false done
    load i @line++
    push_s "demo: line"
    syscall_discard debugout, 2
    push_i 500
    syscall_discard wait, 1
    jmp lines

done:
    line 30
    push_s "demo: waiting for the window to close"
    syscall_discard debugout, 1
    push_i -1
    syscall_discard wait, 1
    return

; ticker(label, count): logs the label and a countdown every 300 ms.
.function $ticker@GLOBAL
    .local _label, -2
    .local _count, -3
    check_args s, i
tick:
    line 40
    load i _count
    push_i 0
    gt_i
    jmp_false stop
    load i _count--
    load s _label
    syscall_discard debugout, 2
    push_i 300
    syscall_discard wait, 1
    jmp tick
stop:
    return
