// The licence agreement of the licence screen: one English text of the
// translation table per paragraph. The screen translates each one and shows
// them in order, a blank line ("\n\n") between two paragraphs: at two lines
// a paragraph in every language, the five fit above the agreement box.
#pragma once

inline constexpr const char* kLicenceParagraphs[] = {
    "Tessaline Labs grants you the right to install and use Flyvane 9 on your own computers, for "
    "your personal use.",
    "You may not copy, sell, rent or share the contents of the Flyvane discs. For commercial use, "
    "see www.tessalinelabs.com/commercial.",
    "Flyvane is provided \"as is\", without warranty of any kind. It is made for entertainment, not "
    "for real navigation.",
    "As far as the law allows, Tessaline Labs is not liable for any damage or loss of data caused "
    "by Flyvane or this installer.",
    "The global scenery is built from public elevation, land-cover and map data; we thank everyone "
    "whose work made it possible.",
};
inline constexpr int kLicenceParagraphCount =
    static_cast<int>(sizeof(kLicenceParagraphs) / sizeof(kLicenceParagraphs[0]));
