/* Surface preview plugins for Hollowmere: the header a plugin author needs.
 *
 * A plugin is a shared library (".so") placed in the plugin folder the user
 * chooses. Hollowmere loads every ".so" of that folder and looks up six
 * functions by their plain C names. All of them use the C calling convention,
 * every integer is a 32-bit signed int, and every text is a NUL-terminated
 * Shift_JIS (code page 932) byte string.
 *
 * Life of a plugin, as the host drives it (always from one thread, one call
 * at a time):
 *   dlopen -> GetVersion -> (the other five are looked up; all must exist)
 *   -> Load(folder) -> any number of requests -> Unload() -> dlclose
 * A request is GetImageSize, followed only when it returned 0 by GetImage on
 * a fresh bitmap of exactly the size GetImageSize reported. The host never
 * asks for a negative surface id. Configure must be exported but is never
 * called.
 *
 * A plugin is built like this (C or C++):
 *   #include <hollowmere/spp.h>
 *   SPP_EXPORT void SPP_CALL GetVersion(char* name, int32_t size,
 *                                       int32_t* version, uint8_t* flag) {...}
 *   ... and the five others, declared below.
 * and linked with  cc -shared -fPIC -o myplugin.so myplugin.c
 */
#ifndef HOLLOWMERE_SPP_H
#define HOLLOWMERE_SPP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Exported symbols must be visible even when the library is built with
 * -fvisibility=hidden. */
#if defined(__GNUC__)
#define SPP_EXPORT __attribute__((visibility("default")))
#else
#define SPP_EXPORT
#endif

/* The C calling convention (the caller removes the arguments). On 32-bit x86
 * this is spelled out; elsewhere the platform has only one C convention. */
#if defined(__i386__) && defined(__GNUC__)
#define SPP_CALL __attribute__((cdecl))
#else
#define SPP_CALL
#endif

/* The picture a plugin paints into. The host owns the struct and the pixel
 * memory; both are valid only during the GetImage call that received them.
 *
 *   width, height  the size GetImageSize reported (both at least 1)
 *   stride         bytes from the start of one row to the start of the next
 *                  (at least width * 4)
 *   pixels         row 0 is the top row; pixel (x, y) is
 *                    *(uint32_t*)((uint8_t*)pixels + y * stride + x * 4)
 *                  and holds 0xAARRGGBB as a native uint32_t (alpha in the
 *                  high byte, blue in the low byte). Alpha 0xFF is opaque.
 *                  The bitmap arrives filled with opaque white (0xFFFFFFFF).
 *
 * Saved pictures keep only the colour; paint an opaque picture. */
typedef struct SppBitmap {
  int32_t width;
  int32_t height;
  int32_t stride;
  uint32_t* pixels;
} SppBitmap;

/* The bitmap handle GetImage receives. */
typedef SppBitmap* SppBitmapHandle;

/* Composes a pixel value from its channels (0-255 each). */
#define SPP_ARGB(a, r, g, b)                                                \
  ((((uint32_t)(a)&0xFFu) << 24) | (((uint32_t)(r)&0xFFu) << 16) |         \
   (((uint32_t)(g)&0xFFu) << 8) | ((uint32_t)(b)&0xFFu))

/* The six exports, as function pointer types (what the host looks up) ... */

/* Write 1 to *version and a NUL-terminated plugin name (at most size - 1
 * bytes) into name; size is always 256. *flag is yours to set; the host keeps
 * it but does not act on it. No return value is used. */
typedef void(SPP_CALL* SppGetVersionProc)(char* name, int32_t size, int32_t* version,
                                          uint8_t* flag);

/* Called once after the exports are found. folder is the plugin's own folder,
 * an absolute path ending in "/", in the host's Shift_JIS form (identical to
 * the file system's bytes for plain ASCII paths). The result is ignored. */
typedef int32_t(SPP_CALL* SppLoadProc)(const char* folder);

/* Called once before the library is released. The result is ignored. */
typedef int32_t(SPP_CALL* SppUnloadProc)(void);

/* Return 0 and write the picture's size in pixels when the plugin has a
 * picture of surface id (0 or more) of the named ghost; any other result
 * means "no picture here", and the host asks the next plugin. Ghost names
 * are compared by the host byte for byte ("Sakura" is not "sakura").
 * A size below 1 or above 16384 on either side counts as no picture. */
typedef int32_t(SPP_CALL* SppGetImageSizeProc)(const char* ghost, int32_t id, int32_t* width,
                                               int32_t* height);

/* Paint surface id of the named ghost into bitmap and return 0; any other
 * result means the painting failed and the host asks the next plugin. */
typedef int32_t(SPP_CALL* SppGetImageProc)(const char* ghost, int32_t id, SppBitmapHandle bitmap);

/* Must be exported; the host never calls it. */
typedef void(SPP_CALL* SppConfigureProc)(void);

/* ... and as declarations for the plugin's own source. The host defines
 * SPP_NO_PROTOTYPES so that these names stay out of its global scope. */
#ifndef SPP_NO_PROTOTYPES
SPP_EXPORT void SPP_CALL GetVersion(char* name, int32_t size, int32_t* version, uint8_t* flag);
SPP_EXPORT int32_t SPP_CALL Load(const char* folder);
SPP_EXPORT int32_t SPP_CALL Unload(void);
SPP_EXPORT int32_t SPP_CALL GetImageSize(const char* ghost, int32_t id, int32_t* width,
                                         int32_t* height);
SPP_EXPORT int32_t SPP_CALL GetImage(const char* ghost, int32_t id, SppBitmapHandle bitmap);
SPP_EXPORT void SPP_CALL Configure(void);
#endif

#ifdef __cplusplus
}
#endif

#endif /* HOLLOWMERE_SPP_H */
