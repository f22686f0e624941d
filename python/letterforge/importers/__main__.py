"""python3 -m letterforge.importers: turns other tools' projects into payloads and a manifest."""

from __future__ import annotations

import argparse
import sys
from typing import List, Optional

from . import TOOLS, ProjectError, read_project, write_chapter


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m letterforge.importers",
        description="Writes letterforge's OCR and translation files of every page of the projects "
                    "and a manifest.jsonl for letterforge-batch that renders the original pages.")
    parser.add_argument("projects", nargs="+", metavar="PROJECT",
                        help="a project file, or a folder holding imgtrans_*.json or *_translations.json")
    parser.add_argument("--out", required=True, metavar="FOLDER", help="where the files and the manifest go")
    parser.add_argument("--tool", choices=TOOLS, help="the tool that made the projects (default: told from them)")
    parser.add_argument("--image", action="append", default=[], metavar="PATH",
                        help="the page image of each image_translator answer, in order")
    parser.add_argument("--language", help="the language to typeset, as an image_translator answer keys it")
    parser.add_argument("--source-language", help="the source text's language in an image_translator answer")
    parser.add_argument("--output-folder", default="rendered", metavar="FOLDER",
                        help="where the manifest renders the pages, read from --out (default: rendered)")
    arguments = parser.parse_args(argv)
    if arguments.image and len(arguments.image) != len(arguments.projects):
        parser.error("give one --image per project")
    try:
        pages = []
        for i, project in enumerate(arguments.projects):
            pages += read_project(project, arguments.tool,
                                  image=arguments.image[i] if arguments.image else None,
                                  language=arguments.language,
                                  source_language=arguments.source_language)
        manifest = write_chapter(pages, arguments.out, arguments.output_folder)
    except (ProjectError, OSError) as error:
        print(f"letterforge.importers: {error}", file=sys.stderr)
        return 2
    blocks = sum(len(page.ocr["blocks"]) for page in pages)
    print(f"{manifest}: {len(pages)} pages, {blocks} translated blocks")
    return 0


if __name__ == "__main__":
    sys.exit(main())
