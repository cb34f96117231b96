#pragma once
// The table of every picture on the pages: its name, size and words. The
// build renders it to PNG files and the pages load them by name; the words
// also become each picture control's accessible name.

#include <array>
#include <cstddef>
#include <string>

enum class ArtKind {
    Background,      // a whole page: logo, step indicator, texts
    Button,          // a picture button
    ButtonInactive,  // the same button greyed
    MessageOk,       // a green tick and its words
    MessageError,    // a red cross and its words
    Caption,         // words on the page's background
    Notice,          // a thin red line of words
    Icon,            // the mark alone, for the window and the desktop entry
};

// The artwork's colours (0xRRGGBB), each at 4.5:1 or better against the
// pages' light ground, and the pixel size of the texts set on it while the
// installer runs: they are the artwork's, whatever the desktop's theme and
// font, since the pages are pictures of a fixed size.
constexpr unsigned kArtInk = 0x1f2a36;
constexpr unsigned kArtAccent = 0x2f80c8;
constexpr unsigned kArtAccentDark = 0x22649f;
constexpr unsigned kArtMuted = 0x5b6670;
constexpr unsigned kArtOk = 0x1a7040;
constexpr unsigned kArtError = 0xb42a30;
constexpr float kArtTextPixels = 12;

struct ArtText {
    const char* words = nullptr;
    int x = 0, y = 0, width = 0, height = 0;  // where in the picture
    float pixelSize = 12;                     // largest size; shrunk to fit
    bool bold = false;
    bool centred = false;
};

struct ArtPiece {
    const char* name;
    int width, height;
    ArtKind kind;
    int step;  // backgrounds: the current step, 1 to 4
    std::array<ArtText, 4> texts;
};

extern const ArtPiece kArtwork[];
extern const std::size_t kArtworkCount;

const ArtPiece& ArtByName(const char* name);
std::string ArtWords(const ArtPiece& piece);  // all its words, in reading order
std::string ArtResourcePath(const ArtPiece& piece);
std::string ArtFileName(const ArtPiece& piece);
