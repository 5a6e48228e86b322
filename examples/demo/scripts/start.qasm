; The demo game's start script.
;
; $init@GLOBAL runs once when the program starts; then the main thread
; starts at `main` (and again whenever the game returns to the title).
; The scene: an evening sky, a title panel that fades in and then glows, a
; turning star, and a ball that travels between the corners of the hills.
; A story thread tells a short dialogue in the message console; the reader
; goes on with a click, a key (Return, Space, X) or a gamepad's A button.
; Then the reader chooses one of two answers, with the mouse (click regions),
; the arrow keys or the d-pad and Return or A; the story ends as chosen and
; pages back through the backlog. Music plays throughout, Sora speaks her
; second line aloud, and a chime marks the choice. The game saves itself at
; the choice (the quick slot); once the story is told it loads that save
; back, rebuilds the scene and asks again. F2 and F3 save to and load from
; the quick slot through the game's own save and load hooks. A short movie
; (movie/demo_ending.avi, made by the build) ends the second telling.

.function $init@GLOBAL
    line 1
    ; Glyphs of the console's font are kept in savedata between runs.
    push_i 10
    push_i 20
    push_s "ＭＳ ゴシック"
    syscall_discard set_font_cache, 3
    push_s "demo: initialised"
    syscall_discard debugout, 1
    return

main:
    line 10
    push_s "demo: the main thread starts"
    syscall_discard debugout, 1

    push_i 0
    st_i_pop #loaded_back
    ; Music that loops for as long as the game runs.
    push_i 1
    push_s "demo_bgm"
    syscall_discard music, 2

    call_fn_discard $scene@GLOBAL, 0

    ; A second thread ticks beside the main one: ticker("tick", 5).
    push_i 5
    push_s "tick"
    push_i &$ticker@GLOBAL
    syscall_discard thread_create, 3

    ; The story, on the main thread: its choice is the save point.
    call_fn_discard $story@GLOBAL, 0

    ; Once: back to the choice through the load hook, as F3 would.
    load i #loaded_back
    jmp_true ending
    push_i 1
    st_i_pop #loaded_back
    push_s "demo: back to the choice"
    syscall_discard debugout, 1
    call_fn_discard on_load_request, 0
    jmp main_rest

ending:
    ; The ending: a short movie in the middle of the screen with a sound of
    ; its own (the music stops for it); a click or a key skips it.
    line 11
    push_i 1000
    syscall_discard wait, 1
    push_i 240
    push_i 320
    push_i 120
    push_i 160
    push_i 1
    push_s "demo_ending.avi"
    syscall_discard movie_play, 6
    syscall_discard movie_wait, 0
    syscall_discard movie_stop, 0
    push_s "demo: the ending movie is over"
    syscall_discard debugout, 1
    push_i 1
    push_s "demo_bgm"
    syscall_discard music, 2
main_rest:
    push_i -1
    syscall_discard wait, 1
    jmp main_rest

; scene(): the sky, the turning star, the title panel and the travelling
; ball; made at the start and again after a load (a load keeps variables,
; not pictures).
.function $scene@GLOBAL
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

    push_i &$travel@GLOBAL
    syscall_discard thread_create, 1
    return

; travel(): the title glows once it is in; the ball travels for ever.
.function $travel@GLOBAL
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

; --- The story ---------------------------------------------------------------
; The console is a 600 x 132 page with a see-through dark background, shown
; by a sprite at the foot of the screen; the text box inside it starts below
; the speaker's name.

.function $story@GLOBAL
    line 50
    call_fn_discard $console_setup@GLOBAL, 0
    push_i 600
    syscall_discard wait, 1

    line 51
    syscall_discard console_cls, 0
    text "夕暮れの丘の上で、小さな星がゆっくりと回っている。"
    text_proc
    text_ctrl "p"
    text_ctrl "n"
    text "ミナ「きれいな星だね。あの星は、いつからあそこで回っているんだろう。ずっと見ていたくなるよ。」"
    text_proc
    text_ctrl "p"

    line 52
    syscall_discard console_cls, 0
    ; Sora's voice: the console speaks it as the line is shown.
    push_s "demo_voice"
    syscall_discard voice, 1
    text "ソラ「ずっと昔からだよ。ぼくたちが生まれるよりも、もっと前から。」"
    text_proc
    text_ctrl "p"
    text_ctrl "n"
    text "ボールが丘を転がって、また戻ってきた。"
    text_proc
    text_ctrl "p"

    call_fn_discard $choose@GLOBAL, 0
    line 55
    syscall_discard console_cls, 0
    load i @chosen
    push_i 1
    eq_i
    jmp_false chose_two
    text "ミナ「じゃあ、もう少しだけ見ていよう。」"
    jmp chosen_told
chose_two:
    text "ソラ「そろそろ帰ろうか。星はまた明日も回っているよ。」"
chosen_told:
    text_proc
    text_ctrl "p"

    ; Back through the backlog: to the oldest page, then each page again.
    line 53
    syscall console_page_count, 0
    push_s "demo: pages in the backlog:"
    syscall_discard debugout, 2
    push_i -1
    syscall console_prev_wipe, 1
    st_i_pop @page_pos
back:
    load i @page_pos
    syscall console_prev_wipe, 1
    st_i_pop @older
    load i @older
    load i @page_pos
    eq_i
    jmp_true replay
    load i @older
    st_i_pop @page_pos
    jmp back
replay:
    line 54
    load i @page_pos
    push_s "demo: the backlog page at"
    syscall_discard debugout, 2
    load i @page_pos
    syscall_discard console_replay, 1
    push_i 900
    syscall_discard wait, 1
    load i @page_pos
    syscall console_next_wipe, 1
    st_i_pop @newer
    load i @newer
    load i @page_pos
    eq_i
    jmp_true told
    load i @newer
    st_i_pop @page_pos
    jmp replay
told:
    push_s "demo: the story is told"
    syscall_discard debugout, 1
    return

; console_setup(): the console's page and sprite at the foot of the screen,
; its box, font and colours.
.function $console_setup@GLOBAL
    push_i 132
    push_i 600
    syscall page_create_withalfa, 2
    st_i_pop @console
    call_fn_discard $clear_console@GLOBAL, 0
    load i @console
    syscall sprite_create, 1
    st_i_pop @console_sprite
    push_i 336
    push_i 20
    load i @console_sprite
    syscall_discard sprite_move, 3
    push_i 96
    push_i 568
    push_i 32
    push_i 16
    load i @console
    syscall_discard console_set, 5
    push_i 20
    push_s "ＭＳ ゴシック"
    syscall_discard console_font, 2
    push_i 0x01402010
    push_i 0xFFFFFF
    syscall_discard console_color, 2
    return

; clear_console(): the dark, half see-through box without text.
.function $clear_console@GLOBAL
    push_i 0x281008
    push_i 132
    push_i 600
    push_i 0
    push_i 0
    load i @console
    syscall_discard grp_boxfill, 6
    load i @console
    syscall get_alfapage, 1
    st_i_pop @console_alpha
    push_i 72
    push_i 132
    push_i 600
    push_i 0
    push_i 0
    load i @console_alpha
    syscall_discard grp_boxfill, 6
    return

; Console hooks: the engine calls these by key.
.function on_line_drawn                 ; (page, x, y, width, height, instant)
    .local _instant, -7
    load i _instant
    jmp_true on_line_done
    push_i 120
    syscall_discard wait, 1
on_line_done:
    return
.export 0x47BB540C, on_line_drawn

.function on_pause                      ; the reader's turn: a click, a key or a button
    syscall is_fast_mode, 0             ; skipping (F7, F8, Shift, Ctrl): on at once
    jmp_true pause_done
    syscall is_auto_mode, 0             ; auto play (F6): the player's auto speed
    jmp_false pause_click
    syscall get_auto_speed, 0
    syscall_discard wait, 1
    jmp pause_done
pause_click:
    syscall_discard click_wait, 0
pause_done:
    return
.export 0x20CE505D, on_pause

.function on_wipe                       ; a new page
    call_fn_discard $clear_console@GLOBAL, 0
    return
.export 0x93B38A0B, on_wipe

.function on_speaker                    ; (name): the name above the text
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
    load i @console
    syscall_discard fontout_locate, 3
    load s _name
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    return
.export 0x44A4FF72, on_speaker

.function on_show                       ; (a, b): the console appears
    push_s "demo: the console is shown"
    syscall_discard debugout, 1
    return
.export 0xF7A4C8D8, on_show

.function on_newline
    return
.export 0x04AE36BD, on_newline

; --- The choice ----------------------------------------------------------------
; Two answers on panels in the middle of the screen, each a click region. A
; light frame behind a panel shows which one is selected: the mouse selects
; by hovering, the up and down keys (and the d-pad) step through them, and
; decide (Return, Space, X, the gamepad's A, or a click outside the panels)
; takes the selected one.

.function $choose@GLOBAL
    line 60
    ; The save point: a load comes back to this call.
    syscall_discard save_enable, 0
    push_i 48
    push_i 64
    syscall_discard capture_thumbnail, 2
    push_s "星の見える丘で"
    syscall_discard save_point, 1
    load i #loaded_back
    jmp_false choose_save
    ; Loaded: the pictures are gone, the variables are back.
    push_s "demo: loaded at the choice"
    syscall_discard debugout, 1
    call_fn_discard $scene@GLOBAL, 0
    call_fn_discard $console_setup@GLOBAL, 0
    jmp choose_show
choose_save:
    push_i -1
    syscall_discard save_write, 1
    push_s "demo: saved at the choice"
    syscall_discard debugout, 1
choose_show:
    line 61
    push_s "demo: the choice is shown"
    syscall_discard debugout, 1
    ; The frame: a yellow page, hidden until something is selected.
    push_i 56
    push_i 276
    syscall page_create, 2
    st_i_pop @frame_page
    push_i 0x40D0FF
    push_i 56
    push_i 276
    push_i 0
    push_i 0
    load i @frame_page
    syscall_discard grp_boxfill, 6
    load i @frame_page
    syscall sprite_create, 1
    st_i_pop @frame
    push_i 255
    load i @frame
    syscall_discard sprite_alfa_set, 2
    ; The two panels.
    push_i 150
    push_s "もう少し星を見ている"
    call_fn $panel@GLOBAL, 2
    st_i_pop @panel1
    push_i 220
    push_s "家に帰る"
    call_fn $panel@GLOBAL, 2
    st_i_pop @panel2
    ; Their regions, and the handlers of this frame.
    syscall_discard region_clear, 0
    push_i &$choice_click@GLOBAL
    push_i &$choice_leave@GLOBAL
    push_i &$choice_enter@GLOBAL
    push_i 48
    push_i 260
    push_i 150
    push_i 190
    push_i 1
    syscall_discard region_add, 8
    push_i &$choice_click@GLOBAL
    push_i &$choice_leave@GLOBAL
    push_i &$choice_enter@GLOBAL
    push_i 48
    push_i 260
    push_i 220
    push_i 190
    push_i 2
    syscall_discard region_add, 8
    push_i &$choice_keys@GLOBAL
    push_i 0
    push_i 0
    push_i &$choice_decide@GLOBAL
    syscall_discard region_handlers, 4
    push_i 0
    st_i_pop @selected
    push_i 0
    st_i_pop @chosen
choice_loop:
    syscall_discard region_events, 0
    syscall_discard draw_wait, 0
    load i @chosen
    jmp_false choice_loop
    push_s "demo_se"
    syscall_discard sound, 1
    load i @chosen
    push_s "demo: chose"
    syscall_discard debugout, 2
    syscall_discard region_clear, 0
    load i @panel1
    syscall_discard sprite_release, 1
    load i @panel2
    syscall_discard sprite_release, 1
    load i @frame
    syscall_discard sprite_release, 1
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

; select(n): the frame goes behind panel n (none for 0).
.function $select@GLOBAL
    .local _n, -2
    load i _n
    st_i_pop @selected
    load i _n
    jmp_false select_none
    load i _n
    push_i 70
    mul_i
    push_i 74
    add_i
    push_i 182
    load i @frame
    syscall_discard sprite_move, 3
    push_i 0
    load i @frame
    syscall_discard sprite_alfa_set, 2
    return
select_none:
    push_i 255
    load i @frame
    syscall_discard sprite_alfa_set, 2
    return

.function $choice_enter@GLOBAL          ; (id, x, y, width, height)
    .local _id, -2
    load i _id
    call_fn_discard $select@GLOBAL, 1
    return

.function $choice_leave@GLOBAL
    push_i 0
    call_fn_discard $select@GLOBAL, 1
    return

.function $choice_click@GLOBAL
    .local _id, -2
    load i _id
    st_i_pop @chosen
    return

.function $choice_decide@GLOBAL         ; (x, y): decide outside the panels
    load i @selected
    st_i_pop @chosen
    return

.function $choice_keys@GLOBAL           ; (x, y, mask): 8 up, 16 down
    .local _mask, -4
    load i _mask
    push_i 8
    and
    jmp_false keys_down
    push_i 1
    call_fn_discard $select@GLOBAL, 1
    return
keys_down:
    load i _mask
    push_i 16
    and
    jmp_false keys_done
    push_i 2
    call_fn_discard $select@GLOBAL, 1
keys_done:
    return

; --- Save and load -------------------------------------------------------------
; The engine calls these for the Save and Load requests (F2, F3 and the
; menu); the game keeps one quick save.
.function on_save_request
    push_i -1
    syscall_discard save_write, 1
    push_s "demo: saved"
    syscall_discard debugout, 1
    return
.export 0x7CE76169, on_save_request

.function on_load_request
    push_i -1
    syscall save_load, 1
    push_s "demo: load asked"
    syscall_discard debugout, 2
    return
.export 0xAAF02220, on_load_request
