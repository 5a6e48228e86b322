; The demo game's start script.
;
; $init@GLOBAL runs once when the program starts; then the main thread
; starts at `main` (and again whenever the game returns to the title).
; The scene: an evening sky, a title panel that fades in and then glows, a
; turning star, and a ball that travels between the corners of the hills.

.function $init@GLOBAL
    line 1
    push_s "demo: initialised"
    syscall_discard debugout, 1
    return

main:
    line 10
    push_s "demo: the main thread starts"
    syscall_discard debugout, 1

    ; The sky fills the screen.
    push_s "sky"
    syscall sprite_create_file, 1
    st_i_pop @sky
    push_i 0
    push_i 0
    load i @sky
    syscall_discard sprite_move, 3

    ; The star turns about its centre: a quarter turn a second, without end.
    push_s "star"
    syscall sprite_create_file_ext, 1
    st_i_pop @star
    push_i 170
    push_i 570
    load i @star
    syscall_discard sprite_move, 3
    push_i 1
    push_i 1000
    push_f 90.0
    load i @star
    syscall_discard sprite_rotate, 4

    ; The title panel fades in over a second, then glows slowly.
    push_s "panel"
    syscall sprite_create_file, 1
    st_i_pop @panel
    push_i 40
    push_i 140
    load i @panel
    syscall_discard sprite_move, 3
    push_i 255
    load i @panel
    syscall_discard sprite_alfa_set, 2
    push_i 1000
    push_i 0
    load i @panel
    syscall_discard sprite_alfa_set, 3

    ; The ball starts at the left.
    push_s "ball"
    syscall sprite_create_file, 1
    st_i_pop @ball
    push_i 300
    push_i 20
    load i @ball
    syscall_discard sprite_move, 3

    ; A second thread ticks beside the main one: ticker("tick", 5).
    push_i 5
    push_s "tick"
    push_i &$ticker@GLOBAL
    syscall_discard thread_create, 3

    line 20
    load i @panel
    syscall_discard sprite_alfa_wait, 1
    push_s "demo: the title is in"
    syscall_discard debugout, 1
    push_i 1500
    push_i 0
    push_i 1500
    push_i 90
    load i @panel
    syscall_discard sprite_alfa_define, 5

    ; The ball travels for ever: right along the hills, up, back left.
travel:
    line 30
    push_i 1600
    push_i 330
    push_i 556
    load i @ball
    syscall_discard sprite_move, 4
    load i @ball
    syscall_discard sprite_move_wait, 1
    push_i 1200
    push_i 240
    push_i 330
    load i @ball
    syscall_discard sprite_move, 4
    load i @ball
    syscall_discard sprite_move_wait, 1
    push_i 1400
    push_i 300
    push_i 20
    load i @ball
    syscall_discard sprite_move, 4
    load i @ball
    syscall_discard sprite_move_wait, 1
    jmp travel

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
