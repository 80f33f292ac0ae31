// The licence agreement of the licence screen: one English text of the
// translation table per paragraph. The screen translates each one and shows
// them in order, a blank line ("\n\n") between two paragraphs.
#pragma once

inline constexpr const char* kLicenceParagraphs[] = {
    "Tessaline Labs grants you the right to install and use Flyvane 9 on computers that you own "
    "or use yourself, for your own personal use.",
    "You may not copy, sell, rent or share the contents of the Flyvane discs, in whole or in "
    "part. For commercial use, such as paid flight training, see "
    "www.tessalinelabs.com/commercial.",
    "Flyvane is provided \"as is\", without warranty of any kind. It is a simulation for "
    "entertainment and must not be used for real-world navigation.",
    "To the extent the law allows, Tessaline Labs is not liable for any damage or loss of data "
    "that arises from the use of Flyvane or of this installer.",
    "The global scenery is built from public elevation, land-cover and map data. We thank the "
    "agencies and volunteers whose work made it possible.",
};
inline constexpr int kLicenceParagraphCount =
    static_cast<int>(sizeof(kLicenceParagraphs) / sizeof(kLicenceParagraphs[0]));
