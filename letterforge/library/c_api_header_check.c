/* The public header compiled as C99, and a whole render driven from C: the C++ tests compare
 * what this gives with what they get themselves. */
#include "letterforge/library/letterforge.h"

#include <stddef.h>

/* Renders a page from its three files in one cleanup mode; the code of the first failure, or
 * LF_OK with the sizes of what came back. */
int lf_c_render_files(const char* image, const char* ocr, const char* translation,
                      const char* cleanup_mode, size_t* image_length, size_t* lines,
                      size_t* blocks) {
  lf_error* error = NULL;
  lf_engine* engine = lf_engine_new(&error);
  lf_job* job = lf_job_new(&error);
  lf_result* result = NULL;
  int code;
  lf_job_set_image_file(job, image, &error);
  lf_job_set_ocr_file(job, ocr, &error);
  lf_job_set_translation_file(job, translation, &error);
  lf_job_set_option_string(job, "cleanup_mode", cleanup_mode, &error);
  if (!error) result = lf_render(engine, job, &error);
  if (result) {
    lf_result_image(result, image_length);
    *lines = lf_result_line_count(result);
    *blocks = lf_result_block_count(result);
  }
  code = lf_error_code(error);
  lf_error_free(error);
  lf_result_free(result);
  lf_job_free(job);
  lf_engine_free(engine);
  return code;
}
