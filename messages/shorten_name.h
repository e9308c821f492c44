// A name (UTF-8) too long for where it is shown, shortened between whole
// characters, with an ellipsis (U+2026) where it was cut.
#pragma once

enum class NameCut {
  kMiddle,  // keeps its start and its end
  kFolder,  // keeps its file name whole and cuts its folder part in the middle: a
            // box's path, where the names in one folder are what tells them apart
  kStart,   // keeps its end, where a path's own file name is: the progress line
};

// Writes name into out (capacity bytes with the terminator); gives the
// bytes written before the terminator. A name of at most room bytes comes
// whole. A longer one:
// - kMiddle: keeps (room - 2) / 2 bytes of each end (none when room <= 2),
//   the start backed and the end moved to whole characters. The ellipsis
//   takes two of room: the boxes count room in UTF-16 units, where it is
//   one, and a name has at least as many bytes as units, so the result has
//   at most room units (though up to room + 1 bytes).
// - kFolder: keeps the last component (from the last \ or /) whole and
//   cuts what comes before it as kMiddle does, in the room the component
//   leaves; a component too long for that is itself cut as kMiddle, after
//   an ellipsis standing for the folders. Counted as kMiddle counts.
// - kStart: keeps the last room bytes, moved on to a whole character,
//   after the ellipsis (3 bytes more than what is kept).
// The result never needs more than room + 4 bytes of out; a smaller out
// lowers room to capacity - 4 (one of less than 4 bytes gets an empty text).
int ShortenName(const char* name, int room, NameCut cut, char* out, int capacity);
