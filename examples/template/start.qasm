; The smallest complete game: a background, a speaker's line in the message
; window, a choice, a click and the end. docs/first-game.md builds it step
; by step; docs/builtins.md lists every built-in it calls.

; Runs once when the program starts.
.function $init@GLOBAL
    return

; The main thread starts here.
main:
    line 1
    ; The background: a sprite showing the picture bg.png, placed at (0, 0).
    push_s "bg"
    syscall sprite_create_file, 1
    st_i_pop @bg
    push_i 0
    push_i 0
    load i @bg
    syscall_discard sprite_move, 3

    ; The message window: a 600 x 132 page, dark and half see-through,
    ; shown by a sprite at the foot of the screen (hidden until text comes).
    push_i 132
    push_i 600
    syscall page_create_withalfa, 2
    st_i_pop @window
    call_fn_discard $clear_window@GLOBAL, 0
    load i @window
    syscall sprite_create, 1
    st_i_pop @window_sprite
    push_i 336
    push_i 20
    load i @window_sprite
    syscall_discard sprite_move, 3
    push_i 255
    load i @window_sprite
    syscall_discard sprite_alfa_set, 2

    ; The text box inside the window, below the speaker's name; a font and
    ; white text with a dark outline (colours are 0x00BBGGRR).
    push_i 96
    push_i 568
    push_i 32
    push_i 16
    load i @window
    syscall_discard console_set, 5
    push_i 20
    push_s "ＭＳ ゴシック"
    syscall_discard console_font, 2
    push_i 0x01402010
    push_i 0xFFFFFF
    syscall_discard console_color, 2

    ; A named speaker's line: the name before 「 goes to console_speaker.
    line 2
    syscall_discard console_cls, 0
    text "Mina「The stars are out tonight. Shall we stay a little longer?」"
    text_proc
    text_ctrl "p"

    ; The choice: 1 or 2.
    line 3
    call_fn $choose@GLOBAL, 0
    st_i_pop @answer
    syscall_discard console_cls, 0
    load i @answer
    push_i 1
    eq_i
    jmp_false go_home
    text "Mina「Then let us watch them a while.」"
    jmp answered
go_home:
    text "Mina「Let us go home. They will be here tomorrow.」"
answered:
    text_proc
    text_ctrl "p"

    ; The end.
    line 4
    load i @answer
    push_s "template: the end, answer"
    syscall_discard debugout, 2
    syscall_discard system_end, 0

; clear_window(): the window's dark, half see-through background.
.function $clear_window@GLOBAL
    push_i 0x301808
    push_i 132
    push_i 600
    push_i 0
    push_i 0
    load i @window
    syscall_discard grp_boxfill, 6
    load i @window
    syscall get_alfapage, 1
    st_i_pop @window_alpha
    push_i 80
    push_i 132
    push_i 600
    push_i 0
    push_i 0
    load i @window_alpha
    syscall_discard grp_boxfill, 6
    return

; choose() -> 1 or 2: two answers on panels, taken with a click.
.function $choose@GLOBAL
    line 10
    push_i 150
    push_s "Stay a little longer"
    call_fn $panel@GLOBAL, 2
    st_i_pop @panel1
    push_i 220
    push_s "Go home"
    call_fn $panel@GLOBAL, 2
    st_i_pop @panel2
    ; Click regions: id, x, y, width, height, then the functions called on
    ; enter, leave and click (0: none).
    syscall_discard region_clear, 0
    push_i &$clicked@GLOBAL
    push_i 0
    push_i 0
    push_i 48
    push_i 260
    push_i 150
    push_i 190
    push_i 1
    syscall_discard region_add, 8
    push_i &$clicked@GLOBAL
    push_i 0
    push_i 0
    push_i 48
    push_i 260
    push_i 220
    push_i 190
    push_i 2
    syscall_discard region_add, 8
    push_i 0
    st_i_pop @chosen
choice_loop:
    syscall_discard region_events, 0
    syscall_discard draw_wait, 0
    load i @chosen
    jmp_false choice_loop
    syscall_discard region_clear, 0
    load i @panel1
    syscall_discard sprite_release, 1
    load i @panel2
    syscall_discard sprite_release, 1
    load i @chosen
    return

; clicked(id): a region was clicked.
.function $clicked@GLOBAL
    .local _id, -2
    load i _id
    st_i_pop @chosen
    return

; panel(text, y) -> sprite: a dark panel with the text, at (190, y).
.function $panel@GLOBAL
    .local _text, -2
    .local _y, -3
    .local _page, 0
    .local _sprite, 1
    alloc_locals i, i
    push_i 48
    push_i 260
    syscall page_create, 2
    st_i_pop _page
    push_i 0x503018
    push_i 48
    push_i 260
    push_i 0
    push_i 0
    load i _page
    syscall_discard grp_boxfill, 6
    syscall_discard fontout_push, 0
    push_i 20
    push_s "ＭＳ ゴシック"
    syscall_discard fontout_font, 2
    push_i 0x01000000
    push_i 0xFFFFFF
    syscall_discard fontout_color, 2
    push_i 14
    push_i 20
    load i _page
    syscall_discard fontout_locate, 3
    load s _text
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    load i _page
    syscall sprite_create, 1
    st_i_pop _sprite
    load i _y
    push_i 190
    load i _sprite
    syscall_discard sprite_move, 3
    load i _sprite
    return

; --- The hooks: the message window calls these ---------------------------

; The window must be shown: fade it in.
.hook console_show                      ; (a, b)
    push_i 200
    push_i 0
    load i @window_sprite
    syscall_discard sprite_alfa_set, 3
    return

; The window is hidden.
.hook console_hide                      ; (a, b)
    push_i 255
    load i @window_sprite
    syscall_discard sprite_alfa_set, 2
    return

; A line was drawn: let the reader see it come, unless it is shown at once.
.hook console_line                      ; (page, x, y, width, height, instant)
    .local _instant, -7
    load i _instant
    jmp_true line_done
    push_i 100
    syscall_discard wait, 1
line_done:
    return

.hook console_newline
    return

; The reader's turn: wait for a click (or Return, Space, X).
.hook console_pause
    syscall_discard click_wait, 0
    return

; A new page: clear the window.
.hook console_wipe
    call_fn_discard $clear_window@GLOBAL, 0
    return

; Inline graphics: this game has none.
.hook console_graphic
    return

; The speaker's name, above the text.
.hook console_speaker                   ; (name)
    .local _name, -2
    syscall_discard fontout_push, 0
    push_i 18
    push_s "ＭＳ ゴシック"
    syscall_discard fontout_font, 2
    push_i 0x01000000
    push_i 0x80E0FF
    syscall_discard fontout_color, 2
    push_i 8
    push_i 16
    load i @window
    syscall_discard fontout_locate, 3
    load s _name
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    return
