// The file that a save writes when every control shows the defaults: what
// the renderer expects, byte for byte. Shared by the native and the Windows
// tests, and the benchmark's smallest input.
#ifndef TESSORN_DEFAULT_SETTINGS_FILE_H
#define TESSORN_DEFAULT_SETTINGS_FILE_H

static const char defaultSettingsFile[] = "MEM:016\r\n"
                                          "GL_EXT_paletted_texture:1\r\n"
                                          "ZENTRIERT:0\r\n"
                                          "MAUSGRENZEN:0\r\n"
                                          "GL_EXT_shared_texture_palette:1\r\n"
                                          "GL_EXT_packed_pixels:1\r\n"
                                          "WINDOWED:0\r\n"
                                          "DIRECTX:1\r\n"
                                          "SOFTRESCHANGE:1\r\n"
                                          "FESTESGAMMA:0\r\n"
                                          "FPS:0\r\n"
                                          "FRAMERATE:1\r\n"
                                          "UHRZEIT:0\r\n"
                                          "STATS:0\r\n";
static_assert(sizeof defaultSettingsFile - 1 == 216, "fourteen fixed-width lines");

#endif
