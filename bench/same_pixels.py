#!/usr/bin/env python3
"""Whether two image files hold the same picture: the same size, the same colour channels
(RGB or RGBA) and the same decoded pixels, whatever their encoded bytes. Decoded by Pillow,
not by the decoders under test.

    same_pixels.py <image> <image>      exit status 0 when the same, 1 when not, 2 on error
"""

import sys

from PIL import Image


def picture(path):
    with Image.open(path) as image:
        image.load()
        return image.mode, image.size, image.tobytes()


def main(arguments):
    if len(arguments) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        first, second = (picture(path) for path in arguments)
    except OSError as error:
        print(error, file=sys.stderr)
        return 2
    return 0 if first == second else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
