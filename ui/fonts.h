// The five fonts made for the language's character set: bitmap fonts whose sheets come
// through the image cache for the Western set, system fonts otherwise.
#pragma once

// Makes font_small, font_medium, font_dialog, font_large and font_arial (res/lang.h);
// fonts_done deletes the system font objects.
void fonts_init(void);
void fonts_done(void);
