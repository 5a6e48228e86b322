; The demo game: a short story on a hill at dusk.
;
; $init@GLOBAL runs once when the program starts; then the main thread
; starts at `main` (and again whenever the game returns to the title).
;
; The title: the evening sky, the turning star, the game's panel and its two
; characters, with a menu (start, continue, settings, end) answered by the
; mouse, the arrow keys, the d-pad and Return or A. Continue loads the quick
; save. Settings is the game's own screen (text speed, music volume); the
; menu bar keeps the engine's dialogs.
;
; The story: Mina and Sora come onto the hill (fades and moves), talk with
; voices, and the reader answers a first choice (the save point: the game
; saves itself there, F2 and F3 save and load through its own hooks). Sora
; then asks for one short hand of mahjong against her (a few discards, then
; the result), and a second choice leads to one of two endings: the
; promise (night falls, the ending movie made by the build) or the secret
; (the day is remembered by paging back through the backlog). Both return to
; the title. Music plays throughout, and a chime marks every decision.

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
    push_i 0
    st_i_pop @mina
    push_i 0
    st_i_pop @sora
    ; Music that loops for as long as the game runs.
    push_i 1
    push_s "demo_bgm"
    syscall_discard music, 2

    ; A second thread ticks beside the main one: ticker("tick", 5).
    push_i 5
    push_s "tick"
    push_i &$ticker@GLOBAL
    syscall_discard thread_create, 3

    call_fn_discard $title@GLOBAL, 0
    call_fn_discard $story@GLOBAL, 0
    ; Back to the title: the main thread starts again at `main`.
    push_s "demo: back to the title"
    syscall_discard debugout, 1
    syscall_discard exit, 0
main_rest:
    push_i -1
    syscall_discard wait, 1
    jmp main_rest

; --- The title -------------------------------------------------------------------

.function $title@GLOBAL
    .local _done, 0
    alloc_locals i
    line 12
    call_fn_discard $backdrop@GLOBAL, 0
    ; The two characters stand at either side of the menu.
    push_i 150
    push_i -10
    push_s "mina"
    call_fn $enter@GLOBAL, 3
    st_i_pop @mina
    push_i 150
    push_i 430
    push_s "sora"
    call_fn $enter@GLOBAL, 3
    st_i_pop @sora
    push_s "demo: the title is shown"
    syscall_discard debugout, 1
title_menu:
    push_s "はじめから"
    st_ref_s_pop @item1
    push_s "つづきから"
    st_ref_s_pop @item2
    push_s "設定"
    st_ref_s_pop @item3
    push_s "終わる"
    st_ref_s_pop @item4
    push_i 62
    push_i 170
    push_i 4
    call_fn_discard $menu@GLOBAL, 3
    load i @chosen
    push_s "demo: title menu"
    syscall_discard debugout, 2
    load i @chosen
    push_i 1
    eq_i
    jmp_true title_start
    load i @chosen
    push_i 2
    eq_i
    jmp_false title_not_continue
    ; Continue: the quick save, if there is one.
    push_i 1
    st_i_pop #loaded_back
    push_i -1
    syscall save_load, 1
    push_i 0
    eq_i
    jmp_true title_loading
    push_i 0
    st_i_pop #loaded_back
    push_s "demo: no save to continue"
    syscall_discard debugout, 1
    jmp title_menu
title_loading:
    ; The load takes over at the next pass.
    push_i -1
    syscall_discard wait, 1
    jmp title_loading
title_not_continue:
    load i @chosen
    push_i 3
    eq_i
    jmp_false title_quit
    call_fn_discard $settings@GLOBAL, 0
    jmp title_menu
title_quit:
    push_s "demo: the game ends"
    syscall_discard debugout, 1
    syscall_discard system_end, 0
title_start:
    ; The menu and the characters go; the hill stays for the story.
    load i @mina
    call_fn_discard $leave@GLOBAL, 1
    load i @sora
    call_fn_discard $leave@GLOBAL, 1
    push_i 0
    st_i_pop @mina
    push_i 0
    st_i_pop @sora
    return

; backdrop(): the sky, the turning star, the title panel and the ball that
; travels between the corners of the hills.
.function $backdrop@GLOBAL
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

; enter(name, x, y) -> sprite: a character fades in, sliding 40 pixels in
; from the side she stands on, behind the message box when there is one.
.function $enter@GLOBAL
    .local _name, -2
    .local _x, -3
    .local _y, -4
    .local _sprite, 0
    .local _from, 1
    alloc_locals i, i
    load s _name
    syscall sprite_create_file, 1
    st_i_pop _sprite
    load i @console_sprite
    jmp_false enter_placed
    load i @console_sprite
    load i _sprite
    syscall_discard sprite_priority_low_single, 2
enter_placed:
    load i _x
    push_i 40
    minus_i
    st_i_pop _from
    load i _x
    push_i 200
    lt_i
    jmp_true enter_left
    load i _x
    push_i 40
    add_i
    st_i_pop _from
enter_left:
    load i _y
    load i _from
    load i _sprite
    syscall_discard sprite_move, 3
    push_i 255
    load i _sprite
    syscall_discard sprite_alfa_set, 2
    push_i 700
    push_i 0
    load i _sprite
    syscall_discard sprite_alfa_set, 3
    push_i 700
    load i _y
    load i _x
    load i _sprite
    syscall_discard sprite_move, 4
    load i _sprite
    return

; leave(sprite): a character fades out where she stands.
.function $leave@GLOBAL
    .local _sprite, -2
    load i _sprite
    jmp_false leave_none
    push_i 500
    push_i 255
    load i _sprite
    syscall_discard sprite_alfa_set, 3
    load i _sprite
    syscall_discard sprite_alfa_wait, 1
    load i _sprite
    syscall_discard sprite_release, 1
leave_none:
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

; --- Settings ---------------------------------------------------------------------
; The game's own settings: the text speed and the music volume, each
; stepping through three values with a click; the menu bar's dialogs show
; the same values.

.function $settings@GLOBAL
    line 14
    push_s "demo: the settings are shown"
    syscall_discard debugout, 1
settings_menu:
    ; Text speed: 500 slow, 1000 normal, 2000 fast.
    push_s "文字の速さ：ふつう"
    st_ref_s_pop @item1
    push_i 1000
    push_s "MojiSpeed"
    syscall reg_get_int, 2
    push_i 1000
    lt_i
    jmp_false settings_not_slow
    push_s "文字の速さ：ゆっくり"
    st_ref_s_pop @item1
settings_not_slow:
    push_i 1000
    push_s "MojiSpeed"
    syscall reg_get_int, 2
    push_i 1000
    gt_i
    jmp_false settings_music
    push_s "文字の速さ：はやい"
    st_ref_s_pop @item1
settings_music:
    push_s "音楽：ふつう"
    st_ref_s_pop @item2
    push_i 650
    push_s "MusicVolume"
    syscall reg_get_int, 2
    st_i_pop @volume
    load i @volume
    push_i 650
    lt_i
    jmp_false settings_not_quiet
    push_s "音楽：小さく"
    st_ref_s_pop @item2
settings_not_quiet:
    load i @volume
    push_i 650
    gt_i
    jmp_false settings_show
    push_s "音楽：大きく"
    st_ref_s_pop @item2
settings_show:
    push_s "もどる"
    st_ref_s_pop @item3
    push_i 70
    push_i 180
    push_i 3
    call_fn_discard $menu@GLOBAL, 3
    load i @chosen
    push_i 1
    eq_i
    jmp_false settings_not_speed
    ; slow -> normal -> fast -> slow
    push_i 1000
    st_i_pop @next
    push_i 1000
    push_s "MojiSpeed"
    syscall reg_get_int, 2
    push_i 1000
    eq_i
    jmp_false settings_speed_set
    push_i 2000
    st_i_pop @next
    jmp settings_speed_store
settings_speed_set:
    push_i 1000
    push_s "MojiSpeed"
    syscall reg_get_int, 2
    push_i 1000
    gt_i
    jmp_false settings_speed_store
    push_i 500
    st_i_pop @next
settings_speed_store:
    load i @next
    syscall_discard set_text_speed, 1
    load i @next
    push_s "demo: text speed"
    syscall_discard debugout, 2
    jmp settings_menu
settings_not_speed:
    load i @chosen
    push_i 2
    eq_i
    jmp_false settings_done
    ; quiet -> normal -> loud -> quiet
    push_i 650
    st_i_pop @next
    load i @volume
    push_i 650
    eq_i
    jmp_false settings_volume_set
    push_i 1000
    st_i_pop @next
    jmp settings_volume_store
settings_volume_set:
    load i @volume
    push_i 650
    gt_i
    jmp_false settings_volume_store
    push_i 300
    st_i_pop @next
settings_volume_store:
    load i @next
    syscall_discard set_music_volume, 1
    load i @next
    push_s "demo: music volume"
    syscall_discard debugout, 2
    jmp settings_menu
settings_done:
    return

; --- The story ---------------------------------------------------------------------
; The console is a 600 x 132 page with a see-through dark background, shown
; by a sprite at the foot of the screen; the text box inside it starts below
; the speaker's name.

; scene(): the hill again after a load (a load keeps variables, not
; pictures).
.function $scene@GLOBAL
    call_fn_discard $backdrop@GLOBAL, 0
    return

.function $story@GLOBAL
    line 50
    call_fn_discard $console_setup@GLOBAL, 0
    call_fn_discard $panel_away@GLOBAL, 0
    push_i 600
    syscall_discard wait, 1

    line 51
    syscall_discard console_cls, 0
    text "夕暮れの丘の上で、小さな星がゆっくりと回っている。"
    text_proc
    text_ctrl "p"
    text_ctrl "n"
    push_i 40
    push_i 60
    push_s "mina"
    call_fn $enter@GLOBAL, 3
    st_i_pop @mina
    push_s "mina1"
    syscall_discard voice, 1
    text "ミナ「きれいな星だね。いつから回っているんだろう。」"
    text_proc
    text_ctrl "p"

    line 52
    syscall_discard console_cls, 0
    push_i 40
    push_i 360
    push_s "sora"
    call_fn $enter@GLOBAL, 3
    st_i_pop @sora
    push_s "sora1"
    syscall_discard voice, 1
    text "ソラ「ずっと昔からだよ。ぼくたちが生まれる前から。」"
    text_proc
    text_ctrl "p"
    text_ctrl "n"
    text "ボールが丘を転がって、また戻ってきた。"
    text_proc
    text_ctrl "p"

    push_s "もう少し星を見ている"
    st_ref_s_pop @item1
    push_s "家に帰る"
    st_ref_s_pop @item2
    call_fn_discard $first_choice@GLOBAL, 0
    load i @chosen
    st_i_pop @first_choice
    line 55
    syscall_discard console_cls, 0
    load i @first_choice
    push_i 1
    eq_i
    jmp_false chose_two
    push_s "mina2"
    syscall_discard voice, 1
    text "ミナ「じゃあ、もう少しだけ見ていよう。」"
    jmp chosen_told
chose_two:
    push_s "sora2"
    syscall_discard voice, 1
    text "ソラ「そろそろ帰ろうか。星はまた明日も回っているよ。」"
chosen_told:
    text_proc
    text_ctrl "p"

    line 56
    syscall_discard console_cls, 0
    ; Sora steps forward.
    push_i 400
    push_i 30
    push_i 330
    load i @sora
    syscall_discard sprite_move, 4
    push_s "sora3"
    syscall_discard voice, 1
    text "ソラ「その前に、一局だけ打っていかない？」"
    text_proc
    text_ctrl "p"

    call_fn_discard $mahjong@GLOBAL, 0

    line 57
    syscall_discard console_cls, 0
    push_i 400
    push_i 40
    push_i 360
    load i @sora
    syscall_discard sprite_move, 4
    load i @mahjong_result
    push_i 0
    gt_i
    jmp_false lost_or_drawn
    text "ソラ「うわ、上がられた！　今日はきみの勝ちだね。」"
    jmp played
lost_or_drawn:
    text "ソラ「引き分けか。勝負はまた今度だね。」"
played:
    text_proc
    text_ctrl "p"
    text_ctrl "n"
    push_s "mina3"
    syscall_discard voice, 1
    text "ミナ「ねえ、最後にひとつだけ。今日のこと、どうする？」"
    text_proc
    text_ctrl "p"

    push_s "また明日、ここで会おう"
    st_ref_s_pop @item1
    push_s "二人だけの秘密にしよう"
    st_ref_s_pop @item2
    call_fn_discard $choose@GLOBAL, 0
    load i @chosen
    push_i 1
    eq_i
    jmp_false ending_secret
    call_fn_discard $ending_promise@GLOBAL, 0
    return
ending_secret:
    call_fn_discard $ending_secret@GLOBAL, 0
    return

; panel_away(): the title's panel slides up out of the picture.
.function $panel_away@GLOBAL
    push_i 800
    push_i -120
    push_i 140
    load i @panel
    syscall_discard sprite_move, 4
    return

; The first ending: night falls over the hill, a promise, and the movie.
.function $ending_promise@GLOBAL
    line 60
    push_s "demo: the promise ending"
    syscall_discard debugout, 1
    ; Night comes in over the sky, behind the two of them.
    push_s "night"
    syscall sprite_create_file, 1
    st_i_pop @night
    push_i 0
    push_i 0
    load i @night
    syscall_discard sprite_move, 3
    push_i 255
    load i @night
    syscall_discard sprite_alfa_set, 2
    load i @sky
    load i @night
    syscall_discard sprite_priority_high_single, 2
    push_i 2000
    push_i 0
    load i @night
    syscall_discard sprite_alfa_set, 3
    push_i 1000
    push_i 255
    load i @ball
    syscall_discard sprite_alfa_set, 3
    syscall_discard console_cls, 0
    text "ミナ「約束だよ。明日も、あさっても。」"
    text_proc
    text_ctrl "p"
    text_ctrl "n"
    text "ソラ「うん。星が回っているかぎり、ずっと。」"
    text_proc
    text_ctrl "p"
    ; The ending movie in the middle of the screen, with a sound of its own
    ; (the music stops for it); a click or a key skips it.
    line 61
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
    push_s "おわり　〜星の約束〜"
    call_fn_discard $the_end@GLOBAL, 1
    return

; The second ending: the two of them go home, and the day is remembered
; page by page from the backlog.
.function $ending_secret@GLOBAL
    line 65
    push_s "demo: the secret ending"
    syscall_discard debugout, 1
    syscall_discard console_cls, 0
    text "ソラ「わかった。二人だけの……ううん、三人だけの秘密だ。」"
    text_proc
    text_ctrl "p"
    load i @mina
    call_fn_discard $leave@GLOBAL, 1
    push_i 0
    st_i_pop @mina
    load i @sora
    call_fn_discard $leave@GLOBAL, 1
    push_i 0
    st_i_pop @sora
    ; Back through the backlog: to the oldest page, then each page again.
    line 66
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
    push_s "おわり　〜ひみつの丘〜"
    call_fn_discard $the_end@GLOBAL, 1
    return

; the_end(title): the ending's name on a plate until the reader goes on.
.function $the_end@GLOBAL
    .local _title, -2
    .local _page, 0
    .local _plate, 1
    alloc_locals i, i
    push_i 64
    push_i 400
    syscall page_create, 2
    st_i_pop _page
    push_i 0x281008
    push_i 64
    push_i 400
    push_i 0
    push_i 0
    load i _page
    syscall_discard grp_boxfill, 6
    syscall_discard fontout_push, 0
    push_i 26
    push_s "ＭＳ ゴシック"
    syscall_discard fontout_font, 2
    push_i 0x01000000
    push_i 0x80E0FF
    syscall_discard fontout_color, 2
    push_i 18
    push_i 40
    load i _page
    syscall_discard fontout_locate, 3
    load s _title
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    load i _page
    syscall sprite_create, 1
    st_i_pop _plate
    ; Below their faces, above the message box.
    push_i 262
    push_i 120
    load i _plate
    syscall_discard sprite_move, 3
    push_i 255
    load i _plate
    syscall_discard sprite_alfa_set, 2
    push_i 800
    push_i 0
    load i _plate
    syscall_discard sprite_alfa_set, 3
    load s _title
    push_s "demo: the end:"
    syscall_discard debugout, 2
    syscall_discard click_wait, 0
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
    ; The player's text speed: 1000 is 120 ms a line, 2000 twice as fast.
    push_i 120000
    push_i 1000
    push_s "MojiSpeed"
    syscall reg_get_int, 2
    push_i 1
    syscall max, 2
    div_i
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
    ; The last speaker's name goes first.
    push_i 0x281008
    push_i 30
    push_i 600
    push_i 0
    push_i 0
    load i @console
    syscall_discard grp_boxfill, 6
    push_i 72
    push_i 30
    push_i 600
    push_i 0
    push_i 0
    load i @console_alpha
    syscall_discard grp_boxfill, 6
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

; --- Menus and choices -----------------------------------------------------------
; Panels in the middle of the screen, each a click region. A light frame
; behind a panel shows which one is selected: the mouse selects by
; hovering, the up and down keys (and the d-pad) step through them, and
; decide (Return, Space, X, the gamepad's A, or a click outside the panels)
; takes the selected one. The labels are in @item1 ... @item4.

; first_choice(): the story's first choice, its save point.
.function $first_choice@GLOBAL
    line 70
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
    push_i 0
    st_i_pop #loaded_back
    push_s "demo: loaded at the choice"
    syscall_discard debugout, 1
    call_fn_discard $scene@GLOBAL, 0
    call_fn_discard $console_setup@GLOBAL, 0
    call_fn_discard $panel_away@GLOBAL, 0
    push_i 40
    push_i 60
    push_s "mina"
    call_fn $enter@GLOBAL, 3
    st_i_pop @mina
    push_i 40
    push_i 360
    push_s "sora"
    call_fn $enter@GLOBAL, 3
    st_i_pop @sora
    call_fn_discard $choose@GLOBAL, 0
    return
choose_save:
    push_i -1
    syscall_discard save_write, 1
    push_s "demo: saved at the choice"
    syscall_discard debugout, 1
    call_fn_discard $choose@GLOBAL, 0
    return

; choose(): a choice between @item1 and @item2.
.function $choose@GLOBAL
    line 71
    push_s "demo: the choice is shown"
    syscall_discard debugout, 1
    push_i 70
    push_i 150
    push_i 2
    call_fn_discard $menu@GLOBAL, 3
    load i @chosen
    push_s "demo: chose"
    syscall_discard debugout, 2
    return

; menu(count, top, step): panels for @item1 ... @item<count> from y = top,
; step apart; the answer (1 ...) is left in @chosen.
.function $menu@GLOBAL
    .local _count, -2
    .local _top, -3
    .local _step, -4
    .local _n, 0
    alloc_locals i
    load i _count
    st_i_pop @menu_count
    load i _top
    st_i_pop @menu_top
    load i _step
    st_i_pop @menu_step
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
    syscall_discard region_clear, 0
    push_i 4
    syscall int_array, 1
    st_ref_ia_pop @menu_panels
    push_i 1
    st_i_pop _n
menu_panel:
    load i _n
    load i _count
    gt_i
    jmp_true menu_panels_made
    ; The panel for item n, at top + (n - 1) * step.
    load i _n
    push_i 1
    minus_i
    load i _step
    mul_i
    load i _top
    add_i
    st_i_pop @panel_y
    load s @item4
    st_ref_s_pop @label
    load i _n
    push_i 1
    eq_i
    jmp_false menu_not1
    load s @item1
    st_ref_s_pop @label
menu_not1:
    load i _n
    push_i 2
    eq_i
    jmp_false menu_not2
    load s @item2
    st_ref_s_pop @label
menu_not2:
    load i _n
    push_i 3
    eq_i
    jmp_false menu_not3
    load s @item3
    st_ref_s_pop @label
menu_not3:
    load i @panel_y
    load s @label
    call_fn $panel@GLOBAL, 2
    load i _n
    push_i 1
    minus_i
    ast_i_pop @menu_panels[1]
    push_i &$choice_click@GLOBAL
    push_i &$choice_leave@GLOBAL
    push_i &$choice_enter@GLOBAL
    push_i 48
    push_i 260
    load i @panel_y
    push_i 190
    load i _n
    syscall_discard region_add, 8
    load i _n
    push_i 1
    add_i
    st_i_pop _n
    jmp menu_panel
menu_panels_made:
    push_i &$choice_keys@GLOBAL
    push_i 0
    push_i 0
    push_i &$choice_decide@GLOBAL
    syscall_discard region_handlers, 4
    push_i 0
    st_i_pop @selected
    push_i 0
    st_i_pop @chosen
menu_loop:
    syscall_discard region_events, 0
    syscall_discard draw_wait, 0
    load i @chosen
    jmp_false menu_loop
    push_s "demo_se"
    syscall_discard sound, 1
    syscall_discard region_clear, 0
    push_i 0
    st_i_pop _n
menu_release:
    load i _n
    load i _count
    ge_i
    jmp_true menu_released
    load i _n
    load_elem i @menu_panels[1]
    syscall_discard sprite_release, 1
    load i _n
    push_i 1
    add_i
    st_i_pop _n
    jmp menu_release
menu_released:
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
    push_i 1
    minus_i
    load i @menu_step
    mul_i
    load i @menu_top
    add_i
    push_i 6
    minus_i
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
    load i @selected
    push_i 1
    le_i
    jmp_true keys_first
    load i @selected
    push_i 1
    minus_i
    call_fn_discard $select@GLOBAL, 1
    return
keys_first:
    push_i 1
    call_fn_discard $select@GLOBAL, 1
    return
keys_down:
    load i _mask
    push_i 16
    and
    jmp_false keys_done
    load i @selected
    load i @menu_count
    ge_i
    jmp_true keys_done
    load i @selected
    push_i 1
    add_i
    call_fn_discard $select@GLOBAL, 1
keys_done:
    return

; --- Save and load -----------------------------------------------------------------
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
    push_i 1
    st_i_pop #loaded_back
    push_i -1
    syscall save_load, 1
    st_i_pop @load_answer
    load i @load_answer
    push_s "demo: load asked"
    syscall_discard debugout, 2
    load i @load_answer
    jmp_false load_asked
    push_i 0
    st_i_pop #loaded_back
load_asked:
    return
.export 0xAAF02220, on_load_request

; --- Mahjong -----------------------------------------------------------------------
; One short hand against Sora: the two of them at the table (two players),
; four draws and discards each, a win by self-draw or on her discard, else a
; draw with the player's readiness. The engine keeps the wall and plays
; Sora; the table lives in the variables below, which every mahjong
; built-in reads and writes.

; mj_variables(): every variable of the table, new and zero.
.function $mj_variables@GLOBAL
    push_i 0
    st_i_pop @M_my_score
    push_i 0
    st_i_pop @M_my_is_reach
    push_i 0
    st_i_pop @M_my_reach_cyokugo
    push_i 0
    st_i_pop @M_my_kaze
    push_i 0
    st_i_pop @M_my_luck
    push_i 0
    st_i_pop @M_my_unluck
    push_i 0
    st_i_pop @M_tatioya
    push_i 0
    st_i_pop @M_ba_kaze
    push_i 0
    st_i_pop @M_ba_mawari
    push_i 0
    st_i_pop @M_kan_kazu
    push_i 0
    st_i_pop @M_ba_100ten
    push_i 0
    st_i_pop @M_ba_1000ten
    push_i 0
    st_i_pop @M_maj_mode
    push_i 0
    st_i_pop @M_pi_tumo_nokori
    push_i 0
    st_i_pop @M_com_yuusen
    push_i 0
    st_i_pop @O_is_tumo_not_wait
    push_i 0
    st_i_pop @O_is_quit
    push_i 0
    st_i_pop @O_winner
    push_i 0
    st_i_pop @O_is_tenho
    push_i 0
    st_i_pop @O_is_haitei
    push_i 0
    st_i_pop @O_is_tumo
    push_i 0
    st_i_pop @O_is_kan_cyokugo
    push_i 0
    st_i_pop @O_is_kandora_akero
    push_i 0
    st_i_pop @M_last_sute
    push_i 0
    st_i_pop @M_last_sute_pl
    push_i 0
    st_i_pop @ConEn
    push_i 0
    st_i_pop @InSuv
    push_i 0
    st_i_pop @M_yaku_fu_total
    push_i 0
    st_i_pop @M_yaku_han_total
    push_i 0
    st_i_pop @M_yaku_man_total
    push_i 0
    st_i_pop @M_yaku_score
    push_i 0
    st_i_pop @M_yaku_score_oya
    push_i 0
    st_i_pop @M_yaku_score_ko
    push_i 0
    st_i_pop @M_yaku_is_tumo
    push_i 0
    st_i_pop @M_yaku_is_reach
    push_i 0
    st_i_pop @M_yaku_my_kaze
    push_i 0
    st_i_pop #kuitan@CONFIG
    push_i 0
    st_i_pop #tumopin@CONFIG
    push_i 0
    st_i_pop #uradora@CONFIG
    push_i 0
    st_i_pop #kandora@CONFIG
    push_i 0
    st_i_pop #akau@CONFIG
    push_i 0
    st_i_pop #dobon@CONFIG
    push_i 0
    st_i_pop #tonnan@CONFIG
    push_i 0
    st_i_pop #syairi@CONFIG
    push_i 0
    st_i_pop #oyanagare@CONFIG
    push_i 14
    syscall int_array, 1
    st_ref_ia_pop @M_my_pre_te#
    push_i 14
    syscall int_array, 1
    st_ref_ia_pop @M_my_naki_flag#
    push_i 14
    syscall int_array, 1
    st_ref_ia_pop @M_my_naki_flag2#
    push_i 40
    syscall int_array, 1
    st_ref_ia_pop @M_my_sute#
    push_i 16
    syscall int_array, 1
    st_ref_ia_pop @M_dora#
    push_i 16
    syscall int_array, 1
    st_ref_ia_pop @M_dora_ura#
    push_i 14
    syscall int_array, 1
    st_ref_ia_pop @M_reach_sel_stat#
    push_i 42
    syscall int_array, 1
    st_ref_ia_pop @M_com_end#
    push_i 42
    syscall int_array, 1
    st_ref_ia_pop @M_com_end2#
    push_i 42
    syscall int_array, 1
    st_ref_ia_pop @M_com_endnaki#
    push_i 42
    syscall int_array, 1
    st_ref_ia_pop @M_com_endnaki2#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_do_reach#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_do_naki#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_te_susunda#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_is_tenpai#
    push_i 120
    syscall int_array, 1
    st_ref_ia_pop @M_com_sute#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_score#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_kaze#
    push_i 42
    syscall int_array, 1
    st_ref_ia_pop @M_com_pre_te#
    push_i 42
    syscall int_array, 1
    st_ref_ia_pop @M_com_naki_flag#
    push_i 42
    syscall int_array, 1
    st_ref_ia_pop @M_com_naki_flag2#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_is_reach#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @M_com_reach_cyokugo#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @com_id#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @com_tuyosa#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @com_lvl#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @com_luck#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @com_unluck#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @ply_luck_seed#
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop @ply_unluck_seed#
    push_i 9
    syscall int_array, 1
    st_ref_ia_pop @M_yaku_no#
    push_i 9
    syscall int_array, 1
    st_ref_ia_pop @M_yaku_han#
    ; @M_my_sute#: empty (-1 everywhere)
    push_i 0
    st_i_pop @fill_i
fill_m_my_sute:
    push_i -1
    load i @fill_i
    ast_i_pop @M_my_sute#[1]
    load i ++@fill_i
    push_i 40
    lt_i
    jmp_true fill_m_my_sute
    ; @M_com_sute#: empty (-1 everywhere)
    push_i 0
    st_i_pop @fill_i
fill_m_com_sute:
    push_i -1
    load i @fill_i
    ast_i_pop @M_com_sute#[1]
    load i ++@fill_i
    push_i 120
    lt_i
    jmp_true fill_m_com_sute
    ; @M_dora#: empty (-1 everywhere)
    push_i 0
    st_i_pop @fill_i
fill_m_dora:
    push_i -1
    load i @fill_i
    ast_i_pop @M_dora#[1]
    load i ++@fill_i
    push_i 16
    lt_i
    jmp_true fill_m_dora
    ; @M_dora_ura#: empty (-1 everywhere)
    push_i 0
    st_i_pop @fill_i
fill_m_dora_ura:
    push_i -1
    load i @fill_i
    ast_i_pop @M_dora_ura#[1]
    load i ++@fill_i
    push_i 16
    lt_i
    jmp_true fill_m_dora_ura
    return

.function $mahjong@GLOBAL
    .local _k, 0
    .local _t, 1
    .local _v, 2
    alloc_locals i, i, i
    line 80
    push_s "demo: the mahjong hand starts"
    syscall_discard debugout, 1
    call_fn_discard $mj_variables@GLOBAL, 0
    push_i 2
    st_i_pop @M_maj_mode
    push_i 250
    st_i_pop @M_my_score
    push_i 250
    push_i 0
    ast_i_pop @M_com_score#[1]
    push_i 5
    push_i 0
    ast_i_pop @com_lvl#[1]
    push_i 1
    push_i 0
    ast_i_pop @com_tuyosa#[1]
    ; The deal.
    syscall_discard yama_init, 0
    syscall_discard kaze_set, 0
    syscall_discard dora_init, 0
    syscall_discard player_haipai, 0
    syscall_discard set_com_end, 0
    push_i 0
    syscall_discard com_show_hand, 1
    push_i 0
    st_i_pop @mahjong_result

    ; The table, Sora across it, the rows of discards and the hand.
    push_s "table"
    syscall sprite_create_file, 1
    st_i_pop @mj_table
    push_i 0
    push_i 0
    load i @mj_table
    syscall_discard sprite_move, 3
    push_i 255
    load i @mj_table
    syscall_discard sprite_alfa_set, 2
    push_i 600
    push_i 0
    load i @mj_table
    syscall_discard sprite_alfa_set, 3
    ; Only her upper part: the rest would cover the table's frame.
    push_i 330
    push_i 220
    push_i 0
    push_i 0
    push_s "sora"
    syscall sprite_create_file, 5
    st_i_pop @mj_sora
    push_i 30
    push_i 420
    load i @mj_sora
    syscall_discard sprite_move, 3
    push_i 60
    push_i 410
    syscall page_create, 2
    st_i_pop @mj_com_page
    load i @mj_com_page
    syscall sprite_create, 1
    st_i_pop @mj_com_row
    push_i 90
    push_i 20
    load i @mj_com_row
    syscall_discard sprite_move, 3
    push_i 60
    push_i 410
    syscall page_create, 2
    st_i_pop @mj_my_page
    load i @mj_my_page
    syscall sprite_create, 1
    st_i_pop @mj_my_row
    push_i 300
    push_i 20
    load i @mj_my_row
    syscall_discard sprite_move, 3
    push_i 64
    push_i 600
    syscall page_create, 2
    st_i_pop @mj_hand_page
    load i @mj_hand_page
    syscall sprite_create, 1
    st_i_pop @mj_hand
    push_i 400
    push_i 20
    load i @mj_hand
    syscall_discard sprite_move, 3
    push_i 110
    push_i 410
    syscall page_create, 2
    st_i_pop @mj_info_page
    load i @mj_info_page
    syscall sprite_create, 1
    st_i_pop @mj_info
    push_i 170
    push_i 20
    load i @mj_info
    syscall_discard sprite_move, 3
    push_s "捨てる牌をクリック"
    push_s "ソラとの一局"
    call_fn_discard $mj_info@GLOBAL, 2
    push_i 0
    call_fn_discard $mj_draw_hand@GLOBAL, 1
    call_fn_discard $mj_draw_rows@GLOBAL, 0
    push_i 800
    syscall_discard wait, 1

    push_i 0
    st_i_pop _k
mj_turn:
    line 81
    load i _k
    push_i 4
    ge_i
    jmp_true mj_drawn
    ; The player draws.
    syscall get_player_pi, 0
    st_i_pop _t
    load i _t
    push_i 13
    ast_i_pop @M_my_pre_te#[1]
    push_i 1
    call_fn_discard $mj_draw_hand@GLOBAL, 1
    syscall get_player_can_agari, 0
    jmp_false mj_discard
    push_i 1
    st_i_pop @O_is_tumo
    push_i 1
    st_i_pop @mahjong_result
    jmp mj_won
mj_discard:
    call_fn $mj_pick@GLOBAL, 0
    st_i_pop _v
    ; The chosen tile goes to the discards, the drawn one takes its place.
    load i _v
    load_elem i @M_my_pre_te#[1]
    load i _k
    ast_i_pop @M_my_sute#[1]
    load i _k
    load_elem i @M_my_sute#[1]
    st_i_pop @M_last_sute
    push_i 3
    st_i_pop @M_last_sute_pl
    push_i 13
    load_elem i @M_my_pre_te#[1]
    load i _v
    ast_i_pop @M_my_pre_te#[1]
    push_i 600
    push_i 13
    ast_i_pop @M_my_pre_te#[1]
    push_i 3
    syscall_discard pi_sort, 1
    load i _v
    load i _k
    push_s "demo: discarded from slot"
    syscall_discard debugout, 3
    push_i 0
    call_fn_discard $mj_draw_hand@GLOBAL, 1
    call_fn_discard $mj_draw_rows@GLOBAL, 0
    push_i 500
    syscall_discard wait, 1
    ; Sora draws and throws.
    push_i 0
    syscall think_com_sute, 1
    st_i_pop _t
    push_i 0
    syscall_discard com_sute_pos, 1
    load i _t
    load i _k
    ast_i_pop @M_com_sute#[1]
    load i _t
    st_i_pop @M_last_sute
    push_i 0
    st_i_pop @M_last_sute_pl
    call_fn_discard $mj_draw_rows@GLOBAL, 0
    push_s "demo_se"
    syscall_discard sound, 1
    ; Her tile might win the player's hand.
    load i _t
    push_i 13
    ast_i_pop @M_my_pre_te#[1]
    syscall get_player_can_agari, 0
    jmp_false mj_no_ron
    push_i 0
    st_i_pop @O_is_tumo
    push_i 2
    st_i_pop @mahjong_result
    jmp mj_won
mj_no_ron:
    push_i 600
    push_i 13
    ast_i_pop @M_my_pre_te#[1]
    load i @M_pi_tumo_nokori
    push_i 2
    minus_i
    st_i_pop @M_pi_tumo_nokori
    push_i 500
    syscall_discard wait, 1
    load i _k
    push_i 1
    add_i
    st_i_pop _k
    jmp mj_turn

mj_won:
    line 82
    push_i 1
    call_fn_discard $mj_draw_hand@GLOBAL, 1
    push_i 3
    syscall_discard get_agari_score, 1
    syscall_discard get_yaku_stat, 0
    load i @M_yaku_score
    push_i 100
    mul_i
    syscall itoa, 1
    push_s "点"
    add_s
    push_s "ツモ　"
    load i @mahjong_result
    push_i 1
    eq_i
    jmp_true mj_won_tsumo
    pop
    push_s "ロン　"
mj_won_tsumo:
    call_fn_discard $mj_info@GLOBAL, 2
    jmp mj_result

mj_drawn:
    line 83
    push_i 3
    syscall get_tenpai, 1
    st_i_pop _t
    push_s "ノーテン"
    load i _t
    jmp_false mj_not_ready
    pop
    push_s "テンパイ"
mj_not_ready:
    push_s "流局　"
    call_fn_discard $mj_info@GLOBAL, 2
mj_result:
    load i @mahjong_result
    push_s "demo: the mahjong result"
    syscall_discard debugout, 2
    syscall_discard click_wait, 0
    load i @mj_info
    syscall_discard sprite_release, 1
    load i @mj_hand
    syscall_discard sprite_release, 1
    load i @mj_my_row
    syscall_discard sprite_release, 1
    load i @mj_com_row
    syscall_discard sprite_release, 1
    load i @mj_sora
    syscall_discard sprite_release, 1
    push_i 600
    push_i 255
    load i @mj_table
    syscall_discard sprite_alfa_set, 3
    load i @mj_table
    syscall_discard sprite_alfa_wait, 1
    load i @mj_table
    syscall_discard sprite_release, 1
    return

; mj_info(title, detail): the plate above the hand, in two lines.
.function $mj_info@GLOBAL
    .local _title, -2
    .local _detail, -3
    push_i 0x1E3A24
    push_i 110
    push_i 410
    push_i 0
    push_i 0
    load i @mj_info_page
    syscall_discard grp_boxfill, 6
    syscall_discard fontout_push, 0
    push_i 26
    push_s "ＭＳ ゴシック"
    syscall_discard fontout_font, 2
    push_i 0x01000000
    push_i 0x80E0FF
    syscall_discard fontout_color, 2
    push_i 16
    push_i 20
    load i @mj_info_page
    syscall_discard fontout_locate, 3
    load s _title
    syscall_discard fontout, 1
    push_i 26
    push_s "ＭＳ ゴシック"
    syscall_discard fontout_font, 2
    push_i 0x01000000
    push_i 0xFFFFFF
    syscall_discard fontout_color, 2
    push_i 60
    push_i 20
    load i @mj_info_page
    syscall_discard fontout_locate, 3
    load s _detail
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    return

; mj_pick() -> slot: the tile the player throws: a click on it, or decide
; (Return, A) for the tile just drawn.
.function $mj_pick@GLOBAL
    .local _i, 0
    alloc_locals i
    syscall_discard region_clear, 0
mj_pick_region:
    load i _i
    push_i 14
    ge_i
    jmp_true mj_pick_wait
    push_i &$mj_click@GLOBAL
    push_i 0
    push_i 0
    push_i 48
    push_i 36
    push_i 406
    load i _i
    call_fn $mj_tile_x@GLOBAL, 1
    push_i 20
    add_i
    load i _i
    push_i 1
    add_i
    syscall_discard region_add, 8
    load i _i
    push_i 1
    add_i
    st_i_pop _i
    jmp mj_pick_region
mj_pick_wait:
    push_i 0
    push_i 0
    push_i 0
    push_i &$mj_decide@GLOBAL
    syscall_discard region_handlers, 4
    push_i 0
    st_i_pop @mj_picked
mj_pick_loop:
    syscall_discard region_events, 0
    syscall_discard draw_wait, 0
    load i @mj_picked
    jmp_false mj_pick_loop
    syscall_discard region_clear, 0
    load i @mj_picked
    push_i 1
    minus_i
    return

.function $mj_click@GLOBAL
    .local _id, -2
    load i _id
    st_i_pop @mj_picked
    return

.function $mj_decide@GLOBAL
    push_i 14
    st_i_pop @mj_picked
    return

; mj_tile_x(slot) -> x of the slot in the hand; the drawn tile stands apart.
.function $mj_tile_x@GLOBAL
    .local _slot, -2
    load i _slot
    push_i 38
    mul_i
    push_i 8
    add_i
    load i _slot
    push_i 13
    eq_i
    push_i 12
    mul_i
    add_i
    return

; mj_draw_hand(with_drawn): the player's tiles on their plate.
.function $mj_draw_hand@GLOBAL
    .local _with_drawn, -2
    .local _i, 0
    .local _v, 1
    alloc_locals i, i
    push_i 0x1E3A24
    push_i 64
    push_i 600
    push_i 0
    push_i 0
    load i @mj_hand_page
    syscall_discard grp_boxfill, 6
mj_hand_tile:
    load i _i
    push_i 14
    ge_i
    jmp_true mj_hand_done
    load i _i
    load_elem i @M_my_pre_te#[1]
    st_i_pop _v
    load i _v
    push_i 600
    eq_i
    jmp_true mj_hand_next
    load i _v
    push_i 8
    load i _i
    call_fn $mj_tile_x@GLOBAL, 1
    load i @mj_hand_page
    call_fn_discard $mj_tile@GLOBAL, 4
mj_hand_next:
    load i _i
    push_i 1
    add_i
    st_i_pop _i
    jmp mj_hand_tile
mj_hand_done:
    return

; mj_draw_rows(): both rows of discards.
.function $mj_draw_rows@GLOBAL
    .local _i, 0
    .local _v, 1
    alloc_locals i, i
    push_i 0x1E3A24
    push_i 60
    push_i 410
    push_i 0
    push_i 0
    load i @mj_com_page
    syscall_discard grp_boxfill, 6
    push_i 0x1E3A24
    push_i 60
    push_i 410
    push_i 0
    push_i 0
    load i @mj_my_page
    syscall_discard grp_boxfill, 6
mj_row_tile:
    load i _i
    push_i 10
    ge_i
    jmp_true mj_rows_done
    load i _i
    load_elem i @M_my_sute#[1]
    st_i_pop _v
    load i _v
    push_i 0
    le_i
    jmp_true mj_row_com
    load i _v
    push_i 6
    load i _i
    push_i 38
    mul_i
    push_i 8
    add_i
    load i @mj_my_page
    call_fn_discard $mj_tile@GLOBAL, 4
mj_row_com:
    load i _i
    load_elem i @M_com_sute#[1]
    st_i_pop _v
    load i _v
    push_i 0
    le_i
    jmp_true mj_row_next
    load i _v
    push_i 6
    load i _i
    push_i 38
    mul_i
    push_i 8
    add_i
    load i @mj_com_page
    call_fn_discard $mj_tile@GLOBAL, 4
mj_row_next:
    load i _i
    push_i 1
    add_i
    st_i_pop _i
    jmp mj_row_tile
mj_rows_done:
    return

; mj_tile(page, x, y, value): a tile face 34 x 46 with its shadow; the
; number above the suit, or the honour's one character.
.function $mj_tile@GLOBAL
    .local _page, -2
    .local _x, -3
    .local _y, -4
    .local _value, -5
    .local _code, 0
    .local _colour, 1
    alloc_locals i, i
    load i _value
    push_i 10
    div_i
    st_i_pop _code
    ; The shadow, the face, the back's edge.
    push_i 0x101810
    push_i 46
    push_i 34
    load i _y
    push_i 3
    add_i
    load i _x
    push_i 3
    add_i
    load i _page
    syscall_discard grp_boxfill, 6
    push_i 0xE8F4F8
    push_i 46
    push_i 34
    load i _y
    load i _x
    load i _page
    syscall_discard grp_boxfill, 6
    push_i 0xC07830
    push_i 6
    push_i 34
    load i _y
    push_i 40
    add_i
    load i _x
    load i _page
    syscall_discard grp_boxfill, 6
    syscall_discard fontout_push, 0
    load i _code
    push_i 31
    ge_i
    jmp_false mj_tile_number
    ; An honour: winds in black, the dragons in their colours.
    push_i 0x202020
    st_i_pop _colour
    load i _code
    push_i 36
    eq_i
    jmp_false mj_tile_not_green
    push_i 0x308020
    st_i_pop _colour
mj_tile_not_green:
    load i _code
    push_i 37
    eq_i
    jmp_false mj_tile_not_red
    push_i 0x2020C8
    st_i_pop _colour
mj_tile_not_red:
    push_i 24
    push_s "ＭＳ ゴシック"
    syscall_discard fontout_font, 2
    load i _colour
    syscall_discard fontout_color, 1
    load i _y
    push_i 8
    add_i
    load i _x
    push_i 5
    add_i
    load i _page
    syscall_discard fontout_locate, 3
    push_i 1
    load i _code
    push_i 31
    minus_i
    push_s "東南西北白發中"
    syscall mid, 3
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    return
mj_tile_number:
    ; Characters in red, circles in blue, bamboo in green.
    push_i 0x2020C0
    st_i_pop _colour
    load i _code
    push_i 10
    gt_i
    jmp_false mj_tile_suit
    push_i 0xB04818
    st_i_pop _colour
    load i _code
    push_i 20
    gt_i
    jmp_false mj_tile_suit
    push_i 0x307818
    st_i_pop _colour
mj_tile_suit:
    push_i 17
    push_s "ＭＳ ゴシック"
    syscall_discard fontout_font, 2
    push_i 0x202020
    syscall_discard fontout_color, 1
    load i _y
    push_i 2
    add_i
    load i _x
    push_i 8
    add_i
    load i _page
    syscall_discard fontout_locate, 3
    push_i 1
    load i _code
    push_i 10
    mod_i
    push_i 1
    minus_i
    push_s "一二三四五六七八九"
    syscall mid, 3
    syscall_discard fontout, 1
    load i _colour
    syscall_discard fontout_color, 1
    load i _y
    push_i 20
    add_i
    load i _x
    push_i 8
    add_i
    load i _page
    syscall_discard fontout_locate, 3
    push_i 1
    load i _code
    push_i 10
    div_i
    push_s "萬筒索"
    syscall mid, 3
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    return
