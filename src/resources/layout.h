#pragma once
// The wizard window's layout: one table, read by the portable wizard (initial texts) and by
// the Windows layer (places, fonts, colours, control IDs).
#include <array>
#include <string>

namespace merva {

enum class TControlKind { kPicture, kLabel, kCheckBox, kEdit, kButton, kProgressBar };
enum class TAlign { kLeft, kCenter };

struct TFontStyle {
  const char* Face;
  int Height;  // negative: character height in pixels
  bool Bold;
  bool AnsiCharset;  // ANSI_CHARSET rather than DEFAULT_CHARSET
};

struct TControlLayout {
  const char* Name;
  int Id;  // the fixed child-window ID that tests and accessibility tools find it by
  TControlKind Kind;
  int Left, Top, Width, Height;
  const char* Caption;  // UTF-8 design-time text
  TFontStyle Font;
  bool BlackBackground;  // white text on opaque black; otherwise transparent where it applies
  TAlign Align;
  int TabOrder;         // -1: takes no focus
  int PictureResource;  // resource ID of the JPEG picture, 0 for none
};

struct TWindowLayout {
  const char* Caption;
  int ClientWidth, ClientHeight;
  TFontStyle Font;
};

extern const TWindowLayout kWindowLayout;
// In creation order, which is also the drawing order of the pictures and labels.
extern const std::array<TControlLayout, 12> kControlLayout;
const TControlLayout& ControlLayout(const std::string& name);

// The application's title: the taskbar text and the caption of the plain message boxes.
extern const char kApplicationTitle[];

// Web addresses of the two link pictures, kept together so the hosts live in one place.
extern const char kFirstSiteUrl[];
extern const char kKestrinUrl[];

// Resource IDs of the pictures and the icon.
enum TResourceId {
  kIconResource = 1,
  kBackgroundPicture = 201,
  kPosterPicture = 202,
  kBackPicture = 203,
  kNextPicture = 204,
  kCancelPicture = 205,
  kEmblemPicture = 206,
};

}  // namespace merva
