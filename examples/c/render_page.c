/* Renders one page through libletterforge, as a program outside this repository uses it:
 *
 *   cc render_page.c $(pkg-config --cflags --libs letterforge) -o render_page
 *   ./render_page <image> <ocr-json> <translation-json> <output> [cleanup-mode] [debug-output]
 *
 * The report lines go to standard error as letterforge writes them, one line per translated
 * block to standard output. The exit status is the failure's code, which is letterforge's
 * exit status for the same failure. */
#include <letterforge.h>
#include <stdio.h>

static void print_report_line(const char* line, size_t length, void* user) {
  (void)user;
  fprintf(stderr, "%.*s\n", (int)length, line);
}

static void print_block(const lf_block* block) {
  printf("%s item=%s cleanup=%s", block->id, block->item, block->cleanup);
  if (block->has_coverage) printf(" coverage=%.2f", block->coverage);
  if (block->has_confidence) printf(" confidence=%.2f", block->confidence);
  if (block->fallback_reason[0]) {
    printf(" fallback=%s then=%s", block->fallback_reason, block->fallback_cleanup);
  }
  if (block->drawn) printf(" size=%.2f", block->font_size);
  else printf(" not-drawn");
  if (block->overflowed) printf(" overflowed");
  if (block->unknown_characters) printf(" unknown-characters=%d", block->unknown_characters);
  printf("\n");
}

/* Writes the encoded image unless there is none; a failure lands in `error`. */
static void write_image(const char* path, const unsigned char* bytes, size_t length,
                        lf_error** error) {
  if (path && bytes) lf_write_file(path, bytes, length, error);
}

int main(int argc, char** argv) {
  lf_engine* engine;
  lf_job* job;
  lf_result* result = NULL;
  lf_error* error = NULL;
  const lf_error* failure;
  const char* debug_output = argc > 6 ? argv[6] : NULL;
  int code;
  size_t i;

  if (argc < 5) {
    fprintf(stderr, "Usage: render_page <image> <ocr-json> <translation-json> <output> "
                    "[cleanup-mode] [debug-output]\n");
    return LF_ERROR_INVALID_ARGUMENT;
  }
  engine = lf_engine_new(&error);
  job = lf_job_new(&error);
  lf_job_set_image_file(job, argv[1], &error);
  lf_job_set_ocr_file(job, argv[2], &error);
  lf_job_set_translation_file(job, argv[3], &error);
  lf_job_set_output_name(job, argv[4], &error);
  if (argc > 5) lf_job_set_option_string(job, "cleanup_mode", argv[5], &error);
  lf_job_set_debug(job, debug_output != NULL, &error);
  lf_job_set_report_callback(job, print_report_line, NULL, &error);
  if (!error) result = lf_render(engine, job, &error);
  if (result) {
    size_t length = 0;
    const unsigned char* image = lf_result_image(result, &length);
    write_image(argv[4], image, length, &error);
    image = lf_result_debug_image(result, &length);
    write_image(debug_output, image, length, &error);
    for (i = 0; !error && i < lf_result_block_count(result); ++i) {
      print_block(lf_result_block(result, i));
    }
  }
  /* A debug image that could not be made fails the run once the page is written, as it
   * fails letterforge's. */
  failure = error ? error : lf_result_debug_error(result);
  if (failure) fprintf(stderr, "%s\n", lf_error_message(failure));
  code = lf_error_code(failure);
  lf_error_free(error);
  lf_result_free(result);
  lf_job_free(job);
  lf_engine_free(engine);
  return code;
}
