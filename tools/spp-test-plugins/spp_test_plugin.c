/* One source for every test plugin; each build switches one behaviour on:
 *   SPP_TEST_NO_GETVERSION   GetVersion is not exported
 *   SPP_TEST_VERSION=n       GetVersion reports version n (default 1)
 *   SPP_TEST_NO_CONFIGURE    Configure is not exported
 *   SPP_TEST_NO_PICTURE      GetImageSize always answers "no picture"
 *   SPP_TEST_PAINT_FAILS     GetImage always fails
 *   SPP_TEST_ZERO_SIZE       every picture is reported as 0 x 0
 *   SPP_TEST_ABSURD_SIZE     the ghost name picks an odd size (see SizeFor)
 *   SPP_TEST_COLOR=0xAARRGGBB  the colour painted (default opaque green)
 * Painting plugins paint every pixel in the colour, except pixel (0, 0),
 * which carries the surface id in its low 24 bits. Their picture is
 * (1 + id % 50) x (1 + length of the ghost name); the ghost "nobody" has no
 * pictures. Every build also exports SppProbe* functions so tests can see
 * what the host asked. */
#include <hollowmere/spp.h>
#include <string.h>

#ifndef SPP_TEST_VERSION
#define SPP_TEST_VERSION 1
#endif
#ifndef SPP_TEST_COLOR
#define SPP_TEST_COLOR 0xFF00C000u
#endif

static int32_t g_loads, g_unloads, g_sizes, g_images, g_negatives;
static char g_loadFolder[1024];
static char g_lastGhost[256];

SPP_EXPORT int32_t SppProbeCount(const char* what) {
  if (strcmp(what, "load") == 0) return g_loads;
  if (strcmp(what, "unload") == 0) return g_unloads;
  if (strcmp(what, "size") == 0) return g_sizes;
  if (strcmp(what, "image") == 0) return g_images;
  if (strcmp(what, "negative") == 0) return g_negatives;
  return -1;
}

SPP_EXPORT const char* SppProbeLoadFolder(void) { return g_loadFolder; }

SPP_EXPORT const char* SppProbeLastGhost(void) { return g_lastGhost; }

SPP_EXPORT void SppProbeReset(void) {
  g_loads = g_unloads = g_sizes = g_images = g_negatives = 0;
  g_loadFolder[0] = '\0';
  g_lastGhost[0] = '\0';
}

static void Remember(const char* ghost) {
  strncpy(g_lastGhost, ghost, sizeof g_lastGhost - 1);
  g_lastGhost[sizeof g_lastGhost - 1] = '\0';
}

#ifndef SPP_TEST_NO_GETVERSION
SPP_EXPORT void SPP_CALL GetVersion(char* name, int32_t size, int32_t* version, uint8_t* flag) {
  strncpy(name, "test plugin", (size_t)size);
  *version = SPP_TEST_VERSION;
  *flag = 1;
}
#endif

SPP_EXPORT int32_t SPP_CALL Load(const char* folder) {
  ++g_loads;
  strncpy(g_loadFolder, folder, sizeof g_loadFolder - 1);
  return 0;
}

SPP_EXPORT int32_t SPP_CALL Unload(void) {
  ++g_unloads;
  return 0;
}

#ifndef SPP_TEST_NO_PICTURE
static void SizeFor(const char* ghost, int32_t id, int32_t* width, int32_t* height) {
#if defined(SPP_TEST_ZERO_SIZE)
  (void)ghost;
  (void)id;
  *width = 0;
  *height = 0;
#elif defined(SPP_TEST_ABSURD_SIZE)
  (void)id;
  *width = 8;
  *height = 8;
  if (strcmp(ghost, "negative") == 0) *width = -4;
  if (strcmp(ghost, "zero-width") == 0) *width = 0;
  if (strcmp(ghost, "zero-height") == 0) *height = 0;
  if (strcmp(ghost, "too-wide") == 0) *width = 16385;
  if (strcmp(ghost, "too-tall") == 0) *height = 16385;
  if (strcmp(ghost, "enormous") == 0) *width = *height = 2000000000;
  if (strcmp(ghost, "widest") == 0) *width = 16384; /* the largest still accepted */
#else
  *width = 1 + id % 50;
  *height = 1 + (int32_t)strlen(ghost);
#endif
}
#endif

SPP_EXPORT int32_t SPP_CALL GetImageSize(const char* ghost, int32_t id, int32_t* width,
                                         int32_t* height) {
  ++g_sizes;
  if (id < 0) ++g_negatives;
  Remember(ghost);
#ifdef SPP_TEST_NO_PICTURE
  return 1;
#else
  if (strcmp(ghost, "nobody") == 0) return 1;
  SizeFor(ghost, id, width, height);
  return 0;
#endif
}

SPP_EXPORT int32_t SPP_CALL GetImage(const char* ghost, int32_t id, SppBitmapHandle bitmap) {
  ++g_images;
  if (id < 0) ++g_negatives;
  Remember(ghost);
#ifdef SPP_TEST_PAINT_FAILS
  return 1;
#else
  for (int32_t y = 0; y < bitmap->height; ++y) {
    uint32_t* row = (uint32_t*)((uint8_t*)bitmap->pixels + (size_t)y * (size_t)bitmap->stride);
    for (int32_t x = 0; x < bitmap->width; ++x) row[x] = SPP_TEST_COLOR;
  }
  bitmap->pixels[0] = 0xFF000000u | ((uint32_t)id & 0xFFFFFFu);
  return 0;
#endif
}

#ifndef SPP_TEST_NO_CONFIGURE
SPP_EXPORT void SPP_CALL Configure(void) {}
#endif
