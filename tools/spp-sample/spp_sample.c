/* Sample surface preview plugin: paints a small drawn figure for any ghost
 * and surface, so the pages show a real picture without a ghost's own shell.
 * Surface n % 10 chooses the expression (0 smile, 1 shy, 2 surprised, 3 sad,
 * 4 angry, 5 wink, 6 sleepy, 7 laughing, 8 blank, 9 troubled); n / 10 chooses
 * the character (hair and clothes colours), so 10 and up is the partner.
 * The ghost name tints the background; the surface number is printed in the
 * bottom-right corner. Every picture is 96 x 128 and opaque. */
#include <hollowmere/spp.h>
#include <string.h>

enum { kWidth = 96, kHeight = 128 };

static const uint32_t kSkin = SPP_ARGB(255, 255, 226, 196);
static const uint32_t kInk = SPP_ARGB(255, 40, 30, 40);
static const uint32_t kWhite = SPP_ARGB(255, 255, 255, 255);
static const uint32_t kMouth = SPP_ARGB(255, 150, 40, 50);
static const uint32_t kBlush = SPP_ARGB(255, 255, 160, 170);
static const uint32_t kWater = SPP_ARGB(255, 90, 160, 240);

typedef struct Canvas {
  SppBitmap* bm;
} Canvas;

static void Put(Canvas* c, int x, int y, uint32_t color) {
  if (x < 0 || y < 0 || x >= c->bm->width || y >= c->bm->height) return;
  uint32_t* row = (uint32_t*)((uint8_t*)c->bm->pixels + (size_t)y * (size_t)c->bm->stride);
  row[x] = color;
}

/* Pixels inside the ellipse centred at (cx, cy) with radii rx, ry, limited to
 * rows from y0 to y1 inclusive. */
static void FillEllipseRows(Canvas* c, int cx, int cy, int rx, int ry, int y0, int y1,
                            uint32_t color) {
  long rx2 = (long)rx * rx, ry2 = (long)ry * ry;
  for (int y = cy - ry; y <= cy + ry; ++y) {
    if (y < y0 || y > y1) continue;
    for (int x = cx - rx; x <= cx + rx; ++x) {
      long dx = x - cx, dy = y - cy;
      if (dx * dx * ry2 + dy * dy * rx2 < rx2 * ry2) Put(c, x, y, color);
    }
  }
}

static void FillEllipse(Canvas* c, int cx, int cy, int rx, int ry, uint32_t color) {
  FillEllipseRows(c, cx, cy, rx, ry, cy - ry, cy + ry, color);
}

/* A round brush: r = 0 is one pixel, r = 1 a small plus, and so on. */
static void Dot(Canvas* c, int x, int y, int r, uint32_t color) {
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx)
      if (dx * dx + dy * dy <= r * r + r / 2) Put(c, x + dx, y + dy, color);
}

/* A line of thickness about 2r + 1. */
static void Line(Canvas* c, int x0, int y0, int x1, int y1, int r, uint32_t color) {
  int dx = x1 > x0 ? x1 - x0 : x0 - x1, sx = x0 < x1 ? 1 : -1;
  int dy = y1 > y0 ? y0 - y1 : y1 - y0, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    Dot(c, x0, y0, r, color);
    if (x0 == x1 && y0 == y1) break;
    int e2 = 2 * err;
    if (e2 >= dy) { err += dy; x0 += sx; }
    if (e2 <= dx) { err += dx; y0 += sy; }
  }
}

/* The lower (upper = 0) or upper (upper = 1) half of an elliptic ring of
 * thickness t: a smile, a frown, a closed eye. */
static void Arc(Canvas* c, int cx, int cy, int rx, int ry, int t, int upper, uint32_t color) {
  long ox = (long)rx * rx, oy = (long)ry * ry;
  long ix = (long)(rx - t) * (rx - t), iy = (long)(ry - t) * (ry - t);
  for (int y = cy - ry; y <= cy + ry; ++y) {
    if (upper ? y > cy : y < cy) continue;
    for (int x = cx - rx; x <= cx + rx; ++x) {
      long dx = x - cx, dy = y - cy;
      int inOuter = dx * dx * oy + dy * dy * ox <= ox * oy;
      int inInner = ix > 0 && iy > 0 && dx * dx * iy + dy * dy * ix < ix * iy;
      if (inOuter && !inInner) Put(c, x, y, color);
    }
  }
}

/* 3 x 5 digits, one row per 3 bits. */
static const uint16_t kDigits[10] = {
    075557, 022222, 071747, 071717, 055711, 074717, 074757, 071111, 075757, 075717,
};

static void Digit(Canvas* c, int x, int y, int d, int scale, uint32_t color) {
  for (int row = 0; row < 5; ++row) {
    int bits = (kDigits[d] >> (3 * (4 - row))) & 7;
    for (int col = 0; col < 3; ++col) {
      if (!(bits & (4 >> col))) continue;
      for (int sy = 0; sy < scale; ++sy)
        for (int sx = 0; sx < scale; ++sx) Put(c, x + col * scale + sx, y + row * scale + sy, color);
    }
  }
}

static void Number(Canvas* c, int right, int top, int32_t n, uint32_t color) {
  char text[12];
  int len = 0;
  uint32_t v = (uint32_t)n;
  do {
    text[len++] = (char)('0' + v % 10);
    v /= 10;
  } while (v != 0 && len < 11);
  for (int i = 0; i < len; ++i) Digit(c, right - (i + 1) * 8, top, text[i] - '0', 2, color);
}

static uint32_t Mix(uint32_t a, uint32_t b, int percentB) {
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    int ca = (int)((a >> shift) & 0xFF), cb = (int)((b >> shift) & 0xFF);
    out |= (uint32_t)((ca * (100 - percentB) + cb * percentB) / 100) << shift;
  }
  return out;
}

/* A pale colour of the ghost's own: the name's bytes choose it. */
static uint32_t GhostTint(const char* ghost) {
  uint32_t h = 2166136261u;
  for (const unsigned char* p = (const unsigned char*)ghost; *p; ++p) h = (h ^ *p) * 16777619u;
  return SPP_ARGB(255, 170 + (h & 0x3F), 170 + ((h >> 8) & 0x3F), 170 + ((h >> 16) & 0x3F));
}

typedef struct Character {
  uint32_t hair;
  uint32_t clothes;
} Character;

static const Character kCharacters[4] = {
    {SPP_ARGB(255, 110, 66, 38), SPP_ARGB(255, 200, 60, 80)},   /* brown hair, red dress */
    {SPP_ARGB(255, 40, 60, 140), SPP_ARGB(255, 60, 90, 60)},    /* navy hair, green coat */
    {SPP_ARGB(255, 230, 200, 90), SPP_ARGB(255, 90, 70, 160)},  /* blond hair, purple */
    {SPP_ARGB(255, 200, 200, 210), SPP_ARGB(255, 50, 50, 60)},  /* silver hair, black */
};

enum { kEyeL = 36, kEyeR = 60, kEyeY = 60, kMouthX = 48, kMouthY = 78 };

static void OpenEye(Canvas* c, int x, int big) {
  if (big) {
    FillEllipse(c, x, kEyeY, 6, 7, kWhite);
    Arc(c, x, kEyeY, 6, 7, 1, 0, kInk);
    Arc(c, x, kEyeY, 6, 7, 1, 1, kInk);
    Dot(c, x, kEyeY, 2, kInk);
  } else {
    FillEllipse(c, x, kEyeY, 3, 5, kInk);
    Put(c, x - 1, kEyeY - 2, kWhite);
    Put(c, x, kEyeY - 2, kWhite);
  }
}

static void ClosedEye(Canvas* c, int x, int happy) {
  /* happy: "^" shape (upper arc); otherwise a resting lid (lower arc). */
  Arc(c, x, kEyeY + (happy ? 2 : -2), 5, 4, 2, happy, kInk);
}

static void Face(Canvas* c, int expression) {
  switch (expression) {
    case 0: /* smile */
      OpenEye(c, kEyeL, 0);
      OpenEye(c, kEyeR, 0);
      Arc(c, kMouthX, kMouthY - 4, 8, 6, 2, 0, kMouth);
      break;
    case 1: /* shy */
      ClosedEye(c, kEyeL, 1);
      ClosedEye(c, kEyeR, 1);
      FillEllipse(c, kEyeL - 4, kEyeY + 10, 6, 3, kBlush);
      FillEllipse(c, kEyeR + 4, kEyeY + 10, 6, 3, kBlush);
      Arc(c, kMouthX, kMouthY - 3, 4, 3, 1, 0, kMouth);
      break;
    case 2: /* surprised */
      OpenEye(c, kEyeL, 1);
      OpenEye(c, kEyeR, 1);
      FillEllipse(c, kMouthX, kMouthY, 4, 5, kMouth);
      break;
    case 3: /* sad */
      OpenEye(c, kEyeL, 0);
      OpenEye(c, kEyeR, 0);
      Line(c, kEyeL - 6, kEyeY - 8, kEyeL + 4, kEyeY - 12, 0, kInk);
      Line(c, kEyeR + 6, kEyeY - 8, kEyeR - 4, kEyeY - 12, 0, kInk);
      Arc(c, kMouthX, kMouthY + 4, 8, 5, 2, 1, kMouth);
      FillEllipse(c, kEyeL + 1, kEyeY + 11, 2, 3, kWater);
      break;
    case 4: /* angry */
      OpenEye(c, kEyeL, 0);
      OpenEye(c, kEyeR, 0);
      Line(c, kEyeL - 6, kEyeY - 13, kEyeL + 5, kEyeY - 8, 1, kInk);
      Line(c, kEyeR + 6, kEyeY - 13, kEyeR - 5, kEyeY - 8, 1, kInk);
      Line(c, kMouthX - 7, kMouthY, kMouthX + 7, kMouthY, 1, kMouth);
      break;
    case 5: /* wink */
      OpenEye(c, kEyeL, 0);
      ClosedEye(c, kEyeR, 1);
      Arc(c, kMouthX, kMouthY - 4, 8, 6, 2, 0, kMouth);
      break;
    case 6: /* sleepy */
      ClosedEye(c, kEyeL, 0);
      ClosedEye(c, kEyeR, 0);
      FillEllipse(c, kMouthX, kMouthY, 2, 2, kMouth);
      Line(c, 74, 30, 82, 30, 0, kInk); /* a small "z" */
      Line(c, 82, 30, 74, 38, 0, kInk);
      Line(c, 74, 38, 82, 38, 0, kInk);
      break;
    case 7: /* laughing */
      ClosedEye(c, kEyeL, 1);
      ClosedEye(c, kEyeR, 1);
      FillEllipseRows(c, kMouthX, kMouthY - 3, 9, 9, kMouthY - 3, kMouthY + 6, kMouth);
      break;
    case 8: /* blank */
      Dot(c, kEyeL, kEyeY, 1, kInk);
      Dot(c, kEyeR, kEyeY, 1, kInk);
      Line(c, kMouthX - 4, kMouthY, kMouthX + 4, kMouthY, 0, kInk);
      break;
    default: /* troubled */
      OpenEye(c, kEyeL, 0);
      OpenEye(c, kEyeR, 0);
      Arc(c, kMouthX - 4, kMouthY + 2, 4, 3, 1, 1, kMouth);
      Arc(c, kMouthX + 4, kMouthY - 1, 4, 3, 1, 0, kMouth);
      FillEllipse(c, 76, 44, 3, 5, kWater);
      break;
  }
}

static void Paint(SppBitmap* bm, const char* ghost, int32_t id) {
  Canvas canvas = {bm};
  Canvas* c = &canvas;
  const Character* who = &kCharacters[(id / 10) % 4];
  uint32_t tint = GhostTint(ghost);

  for (int y = 0; y < bm->height; ++y)
    for (int x = 0; x < bm->width; ++x) Put(c, x, y, Mix(tint, kWhite, 40 - y * 40 / bm->height));

  FillEllipse(c, 48, 132, 38, 30, who->clothes);      /* shoulders */
  FillEllipse(c, 48, 98, 9, 8, kSkin);                /* neck */
  FillEllipse(c, 48, 58, 36, 38, who->hair);          /* back hair */
  FillEllipse(c, 48, 62, 29, 31, kSkin);              /* face */
  FillEllipseRows(c, 48, 50, 31, 26, 24, 44, who->hair); /* fringe */
  Face(c, (int)(id % 10));
  Number(c, bm->width - 2, bm->height - 12, id, kWhite);
}

SPP_EXPORT void SPP_CALL GetVersion(char* name, int32_t size, int32_t* version, uint8_t* flag) {
  static const char kName[] = "Hollowmere sample figure";
  if (name != NULL && size > 0) {
    size_t n = strlen(kName) < (size_t)(size - 1) ? strlen(kName) : (size_t)(size - 1);
    memcpy(name, kName, n);
    name[n] = '\0';
  }
  if (version != NULL) *version = 1;
  if (flag != NULL) *flag = 0;
}

SPP_EXPORT int32_t SPP_CALL Load(const char* folder) { return 0; }

SPP_EXPORT int32_t SPP_CALL Unload(void) { return 0; }

SPP_EXPORT int32_t SPP_CALL GetImageSize(const char* ghost, int32_t id, int32_t* width,
                                         int32_t* height) {
  if (ghost == NULL || id < 0 || width == NULL || height == NULL) return 1;
  *width = kWidth;
  *height = kHeight;
  return 0;
}

SPP_EXPORT int32_t SPP_CALL GetImage(const char* ghost, int32_t id, SppBitmapHandle bitmap) {
  if (ghost == NULL || id < 0 || bitmap == NULL || bitmap->pixels == NULL) return 1;
  Paint(bitmap, ghost, id);
  return 0;
}

SPP_EXPORT void SPP_CALL Configure(void) {}
