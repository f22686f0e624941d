#include "platform/font_catalog.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace platform {
namespace {

std::string stringOf(FcPattern* pattern, const char* object) {
  FcChar8* value = nullptr;
  if (FcPatternGetString(pattern, object, 0, &value) != FcResultMatch || value == nullptr) return {};
  return reinterpret_cast<const char*>(value);
}

}  // namespace

std::vector<InstalledFace> installedFaces(const std::vector<char32_t>& probes) {
  const std::unique_ptr<FcPattern, void (*)(FcPattern*)> all(FcPatternCreate(), FcPatternDestroy);
  const std::unique_ptr<FcObjectSet, void (*)(FcObjectSet*)> objects(
      FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_CHARSET, nullptr), FcObjectSetDestroy);
  const std::unique_ptr<FcFontSet, void (*)(FcFontSet*)> fonts(
      FcFontList(nullptr, all.get(), objects.get()), FcFontSetDestroy);
  std::vector<InstalledFace> faces;
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    InstalledFace face{.family = stringOf(font, FC_FAMILY), .style = stringOf(font, FC_STYLE)};
    FcCharSet* characters = nullptr;
    const bool mapped = FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) == FcResultMatch;
    for (const char32_t probe : probes) {
      face.has.push_back(mapped && FcCharSetHasChar(characters, static_cast<FcChar32>(probe)));
    }
    if (!face.family.empty()) faces.push_back(std::move(face));
  }
  return faces;
}

}  // namespace platform
