// Movies: one at a time, decoded by the platform's movie decoder and drawn
// over the presented picture at the movie rectangle (never into the front
// buffer); its sound plays through the sound subsystem's mixer.
//
// The movie's clock is the sound it has played, when it has sound; else
// the script clock since the movie opened. With a virtual clock every
// picture and every stretch of sound waits for the decoder, so that a run
// is the same each time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "graphics/page.h"
#include "platform/movie.h"
#include "script/builtins.h"

namespace rt { struct Engine; }

namespace gfx {

struct MovieState {
  std::shared_ptr<plat::Movie> movie;  // none when no movie
  std::string name;                    // as the script gave it
  Rect rect;                           // where it is drawn, in game pixels
  int32_t volume = 1000;               // for the next play (1000 = as recorded)
  int32_t volume_playing = 1000;       // this play's
  bool active = false;                 // set by play, cleared by stop
  bool exact = false;                  // frames wait for the decoder (virtual clock)
  bool opened = false;                 // the decoder has opened the file
  bool sound_attached = false;         // the mixer pulls its sound
  uint32_t played_at = 0;              // script clock of the play call
  uint32_t opened_at = 0;              // script clock when it opened
  plat::MoviePicture picture;          // the picture shown now
  bool has_picture = false;
  uint64_t picture_serial = 0;         // counts new pictures
  uint64_t shown_serial = 0;           // the picture the host has
};

std::span<const rt::BuiltinEntry> movie_builtins();
void install_movie_hooks(rt::Engine& e);

// True while the movie has pictures or sound left.
bool movie_playing(rt::Engine& e);
// Stops and forgets the movie; true when one was playing.
bool close_movie(rt::Engine& e);
// Advances the movie to the script clock: takes the picture due, notices
// the end and failures. Called with every frame.
void step_movie(rt::Engine& e);

}  // namespace gfx
