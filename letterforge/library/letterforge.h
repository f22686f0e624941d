/* libletterforge: renders translated pages in memory, from C or any language that calls C.
 *
 *   lf_engine* engine = lf_engine_new(NULL);
 *   lf_job* job = lf_job_new(NULL);
 *   lf_error* error = NULL;
 *   lf_job_set_image_file(job, "page.png", &error);
 *   lf_job_set_ocr_file(job, "ocr.json", &error);
 *   lf_job_set_translation_file(job, "translation.json", &error);
 *   lf_job_set_option_string(job, "cleanup_mode", "bubble_clean", &error);
 *   lf_result* result = error ? NULL : lf_render(engine, job, &error);
 *   if (result) {
 *     size_t length = 0;
 *     const unsigned char* png = lf_result_image(result, &length);
 *     lf_write_file("out.png", png, length, &error);
 *   }
 *   if (error) fprintf(stderr, "%s\n", lf_error_message(error));
 *   lf_error_free(error); lf_result_free(result); lf_job_free(job); lf_engine_free(engine);
 *
 * Errors: every function that can fail takes `lf_error** error` last. On a failure, when
 * `error` is not NULL and `*error` is NULL, `*error` receives a new error that the caller
 * frees with lf_error_free; an error already there is kept, so a run of calls sharing one
 * reports the first failure. Functions returning int return LF_OK or the failure's code;
 * functions returning a pointer return NULL on failure. Nothing is ever thrown or aborted on.
 *
 * Ownership: every object from an lf_*_new or lf_render belongs to the caller and is freed
 * by its lf_*_free (all of which accept NULL). Strings and bytes read from a result belong
 * to the result and live until lf_result_free. Setters copy what they are given.
 *
 * Threads: an engine renders one page at a time; use each engine from one thread at a time.
 * Engines on different threads render at once without sharing anything. A job is only read
 * by lf_render, so one job may be rendered by several engines at once while nobody sets it.
 */
#ifndef LETTERFORGE_H
#define LETTERFORGE_H

#include <stddef.h>

#if defined(__GNUC__)
#define LF_API __attribute__((visibility("default")))
#else
#define LF_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this header: a program built against it may check at run time that
 * lf_version() is not older. */
#define LF_VERSION_MAJOR 1
#define LF_VERSION_MINOR 1
#define LF_VERSION_PATCH 0

/* "major.minor.patch": the version of the library and of the programs it ships with. */
LF_API const char* lf_version(void);

/* ---- Errors ---------------------------------------------------------------------------- */

/* Failure codes. Each class of failure that ends a page has the exit status letterforge ends
 * with on it; LF_ERROR_INVALID_ARGUMENT is the caller's mistake, as a short command line is
 * the program's status 2. */
enum {
  LF_OK = 0,
  LF_ERROR_IMAGE_UNREADABLE = 1,   /* the page image cannot be opened or decoded */
  LF_ERROR_INVALID_ARGUMENT = 2,   /* a NULL pointer, an unknown option, a value of the wrong
                                      type or out of its words, a job missing an input */
  LF_ERROR_PAYLOAD_UNREADABLE = 3, /* the OCR or translation JSON cannot be read or decoded */
  LF_ERROR_DUPLICATE_ID = 4,       /* two translations or translated blocks share an id */
  LF_ERROR_WRITE_FAILURE = 5,      /* an image cannot be encoded, or a file written */
  LF_ERROR_OUT_OF_MEMORY = 6,      /* a bitmap or any other memory cannot be had */
  LF_ERROR_FONT_UNAVAILABLE = 7,   /* the font option names a font that cannot be had */
  LF_ERROR_INTERNAL = 8            /* a fault inside the library; the message says which */
};

typedef struct lf_error lf_error;

LF_API int lf_error_code(const lf_error* error);            /* LF_OK for NULL */
LF_API const char* lf_error_message(const lf_error* error); /* one line; "" for NULL */
LF_API void lf_error_free(lf_error* error);

/* ---- Engines --------------------------------------------------------------------------- */

/* Fonts and their caches, kept from one page to the next. */
typedef struct lf_engine lf_engine;

LF_API lf_engine* lf_engine_new(lf_error** error);
LF_API void lf_engine_free(lf_engine* engine);

/* ---- Jobs ------------------------------------------------------------------------------ */

/* One page to render: its image, its two JSON payloads, its options. A new job has no inputs
 * and every option at letterforge's default. */
typedef struct lf_job lf_job;

LF_API lf_job* lf_job_new(lf_error** error);
LF_API void lf_job_free(lf_job* job);

/* The page image, replacing the one set before: a file (PNG, JPEG, WebP, TIFF or GIF, known by
 * its content), the bytes of one, or pixels. `name` names the bytes in the failure to open
 * them ("Could not open image: <name>"); NULL names them "image bytes". */
LF_API int lf_job_set_image_file(lf_job* job, const char* path, lf_error** error);
LF_API int lf_job_set_image_bytes(lf_job* job, const void* bytes, size_t length,
                                  const char* name, lf_error** error);

/* Pixel layouts: 8 bits a channel, rows top first, RGBA not premultiplied. */
enum { LF_PIXELS_RGB = 3, LF_PIXELS_RGBA = 4 };

/* `stride` counts the bytes from one row to the next, at least width times the channels.
 * Sides of 1 to 65535 pixels and at most 2^28 pixels; beyond: LF_ERROR_IMAGE_UNREADABLE,
 * "Could not open image: <width> x <height> pixels". */
LF_API int lf_job_set_image_pixels(lf_job* job, const void* pixels, int width, int height,
                                   size_t stride, int layout, lf_error** error);

/* The OCR and translation payloads: a JSON file, or JSON text of `length` bytes. */
LF_API int lf_job_set_ocr_file(lf_job* job, const char* path, lf_error** error);
LF_API int lf_job_set_ocr_json(lf_job* job, const char* json, size_t length, lf_error** error);
LF_API int lf_job_set_translation_file(lf_job* job, const char* path, lf_error** error);
LF_API int lf_job_set_translation_json(lf_job* job, const char* json, size_t length,
                                       lf_error** error);

/* Options by name, bounded as letterforge's command line bounds them (see lf_option_at):
 * base_font_size, max_font_size, font_scale, line_spacing, stroke_width and quality are
 * numbers; grouping is a boolean; font_weight, grouping_preset, typesetting_mode,
 * cleanup_mode, stroke_color, font and format are strings. Words are taken in any letter
 * case; cleanup_mode "none" is no cleanup. An unknown name, a value of the other type, a word
 * the option does not take (the message lists the words it takes and names the nearest), a
 * colour that is not six hex digits, a format other than png, jpeg or webp and an empty font
 * are LF_ERROR_INVALID_ARGUMENT, and leave the option as it was. fit_balloon is a boolean.
 * direction is a string: horizontal (the default), vertical (translations set in columns read
 * right to left) or auto (in columns where mostly Han, kana or Hangul and taller than wide).
 * blocks is a string: per-block overrides as JSON text (an object keyed by block id, checked
 * when set) or the path of a file holding it (read by lf_render); lf_render fails with
 * LF_ERROR_PAYLOAD_UNREADABLE, naming the block, for an id no translated block has, and with
 * LF_ERROR_FONT_UNAVAILABLE for a block's font that cannot be had. */
LF_API int lf_job_set_option_number(lf_job* job, const char* name, double value,
                                    lf_error** error);
LF_API int lf_job_set_option_boolean(lf_job* job, const char* name, int value, lf_error** error);
LF_API int lf_job_set_option_string(lf_job* job, const char* name, const char* value,
                                    lf_error** error);

/* Names the output image. Without the format option its extension chooses the format
 * (.png, .jpg or .jpeg, .webp; none: PNG); another extension (.gif, .bmp) makes lf_render
 * fail with LF_ERROR_INVALID_ARGUMENT unless the format option is given. A failure to encode
 * the image names it. Nothing is written: see lf_write_file. */
LF_API int lf_job_set_output_name(lf_job* job, const char* name, lf_error** error);

/* Non-zero: also make the debug image, the decisions drawn over the untouched page, in the
 * format of the page. */
LF_API int lf_job_set_debug(lf_job* job, int enabled, lf_error** error);

/* Non-zero: also make the layers for editing afterwards (see lf_result_layer). A page whose
 * layers cannot be made fails with LF_ERROR_WRITE_FAILURE ("Could not write the layers of
 * <name>: ..."), a PSD of a page over 30000 pixels a side among them. */
LF_API int lf_job_set_layers(lf_job* job, int enabled, lf_error** error);

/* What a result keeps of the finished page: the encoded image (lf_result_image), the pixels
 * as drawn (lf_result_pixels), or both, ORed. */
enum { LF_RESULT_ENCODED = 1, LF_RESULT_PIXELS = 2 };

/* LF_RESULT_ENCODED by default. Pixels alone skip the encoding; the debug image, when asked
 * for, is encoded either way. Any other value: LF_ERROR_INVALID_ARGUMENT. */
LF_API int lf_job_set_result_contents(lf_job* job, int contents, lf_error** error);

/* Receives each report line (without line feed, NUL-terminated, `length` bytes) at the moment
 * its block is decided, on the rendering thread. It must return normally and leave the job
 * being rendered as it is. NULL: none. */
typedef void (*lf_report_callback)(const char* line, size_t length, void* user);
LF_API int lf_job_set_report_callback(lf_job* job, lf_report_callback callback, void* user,
                                      lf_error** error);

/* What an option is, for help texts: its name, "number", "boolean" or "string", and a line of
 * help with its bounds and default. */
typedef struct lf_option_info {
  const char* name;
  const char* type;
  const char* help;
} lf_option_info;

LF_API size_t lf_option_count(void);
LF_API const lf_option_info* lf_option_at(size_t index); /* NULL past the end */

/* ---- Rendering ------------------------------------------------------------------------- */

typedef struct lf_result lf_result;

/* Renders the job's page: the font checked, the image opened, the payloads decoded, the page
 * cleaned and typeset, encoded, then the debug image when asked for. NULL on a failure that
 * ends the page, with its code and message: the same message letterforge prints for it. */
LF_API lf_result* lf_render(lf_engine* engine, const lf_job* job, lf_error** error);
LF_API void lf_result_free(lf_result* result);

/* The finished page, encoded; `length` (when not NULL) receives its size in bytes. NULL (and
 * 0) when the job kept the pixels only. */
LF_API const unsigned char* lf_result_image(const lf_result* result, size_t* length);
/* "png", "jpeg" or "webp"; "" when the job kept the pixels only. */
LF_API const char* lf_result_format(const lf_result* result);

/* The finished page as drawn, before any encoding: `height` rows top first of `width` pixels,
 * 4 bytes a pixel RGBA, alpha 255, rows width * 4 bytes apart; `width` and `height` receive
 * the size when not NULL. NULL (and 0 x 0) unless the job kept LF_RESULT_PIXELS. PNG and
 * lossless WebP decode to exactly these pixels; JPEG and WebP at a quality only approach
 * them. */
LF_API const unsigned char* lf_result_pixels(const lf_result* result, int* width, int* height);

/* The debug image, NULL when it was not asked for or could not be made. When it was asked for
 * and not made, the page still stands and lf_result_debug_error says why. */
LF_API const unsigned char* lf_result_debug_image(const lf_result* result, size_t* length);
LF_API const lf_error* lf_result_debug_error(const lf_result* result);

/* The layers, when they were asked for: the page after cleanup and before any text (PNG), the
 * text and its outline over transparency (PNG with alpha), the cleanup mask (greyscale PNG:
 * 255 where cleanup masked or changed a pixel) and a PSD holding the original, cleaned and
 * text layers over the finished page. NULL when not asked for or for another number. */
enum { LF_LAYER_CLEANED = 0, LF_LAYER_TEXT = 1, LF_LAYER_MASK = 2, LF_LAYER_PSD = 3 };
LF_API const unsigned char* lf_result_layer(const lf_result* result, int layer, size_t* length);

/* The report lines, in the order they were made: the lines letterforge writes to standard
 * error for the same page, without line feeds. */
LF_API size_t lf_result_line_count(const lf_result* result);
LF_API const char* lf_result_line(const lf_result* result, size_t index); /* NULL past the end */

/* What was done with one translated block. Fields may be added at the end in later versions. */
typedef struct lf_block {
  const char* id;
  const char* item;    /* the ids of the render item that holds it, joined with "+" */
  const char* cleanup; /* "left_alone", "white_fill", "inpainted", "refused", "patched",
                          "patched_dense", "patched_empty", "patched_grouped", "fallback",
                          "repainted_paper", "inpainted_smooth", "inpainted_texture" or
                          "not_cleaned" */
  int has_coverage;    /* the lettering mask's coverage, when patched or repainted with one */
  double coverage;
  int has_confidence;  /* the bubble's confidence, when a bubble was found */
  double confidence;
  const char* fallback_reason;  /* "low_bubble_confidence", "empty_mask" or "" */
  const char* fallback_cleanup; /* after a fallback, what the plain cleanup did; else
                                   "left_alone" */
  int drawn;                    /* 0: the text area was too thin or no size was usable */
  double font_size;             /* the size the text was drawn at */
  int overflowed;               /* not even the smallest size tried fitted */
  int unknown_characters;       /* characters that no installed font can show */
  const char* flags; /* what a reader should look at, comma-separated: "uncleaned" (a cleanup
                        mode left its lettering), "overflowed", "unknown_characters",
                        "spans_balloons" (its item holds blocks of two balloons, or of one and
                        of the art; known only when balloons are looked for),
                        "no_vertical_forms" (set in columns in a font without vertical
                        forms); "" for none */
} lf_block;

/* One per translated block, in block order. */
LF_API size_t lf_result_block_count(const lf_result* result);
LF_API const lf_block* lf_result_block(const lf_result* result, size_t index); /* NULL past end */

/* ---- Files ----------------------------------------------------------------------------- */

/* Stores bytes at path as letterforge stores its output: missing parent directories created,
 * the file replaced whole only once every byte is written, so a failure never leaves a
 * partial file or damages the old one. LF_ERROR_WRITE_FAILURE: "Could not write <path>: ...". */
LF_API int lf_write_file(const char* path, const void* bytes, size_t length, lf_error** error);

#ifdef __cplusplus
}
#endif

#endif /* LETTERFORGE_H */
