#!/usr/bin/env python3
"""Writes the constant tables of the MP3 decoder (mp3tables_gen.cpp, and mp3tables_gen.h with the
window and transform constants, which the stages fold into their code).

Everything the decoder needs beyond the small header tables is data computed here once:
the Layer III Huffman code tables turned into lookup tables, the synthesis window, the
transform constants, the dequantiser's power tables and the stereo factors. The decoder
itself never touches floating point; the values are checked here (complete prefix codes,
window symmetry, polynomial error) before anything is written.

Run from anywhere:  python3 tools/mp3tables/gen_mp3tables.py
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(HERE, '..', '..', 'src', 'snd', 'orvcorelib', 'codecs', 'mp3dec')
OUT = os.path.join(OUT_DIR, 'mp3tables_gen.cpp')
OUT_HEADER = os.path.join(OUT_DIR, 'mp3tables_gen.h')

# ---------------------------------------------------------------------------------------------
# Layer III Huffman code tables: code words and lengths, indexed x * size + y (quadruple
# tables: v*8 + w*4 + x*2 + y).
HUFF = {
    1: (2, [1, 1, 1, 0], [1, 3, 2, 3]),
    2: (3, [1, 2, 1, 3, 1, 1, 3, 2, 0], [1, 3, 6, 3, 3, 5, 5, 5, 6]),
    3: (3, [3, 2, 1, 1, 1, 1, 3, 2, 0], [2, 2, 6, 3, 2, 5, 5, 5, 6]),
    5: (4, [1, 2, 6, 5, 3, 1, 4, 4, 7, 5, 7, 1, 6, 1, 1, 0],
        [1, 3, 6, 7, 3, 3, 6, 7, 6, 6, 7, 8, 7, 6, 7, 8]),
    6: (4, [7, 3, 5, 1, 6, 2, 3, 2, 5, 4, 4, 1, 3, 3, 2, 0],
        [3, 3, 5, 7, 3, 2, 4, 5, 4, 4, 5, 6, 6, 5, 6, 7]),
    7: (6, [1, 2, 10, 19, 16, 10, 3, 3, 7, 10, 5, 3, 11, 4, 13, 17, 8, 4, 12, 11, 18, 15, 11, 2,
            7, 6, 9, 14, 3, 1, 6, 4, 5, 3, 2, 0],
        [1, 3, 6, 8, 8, 9, 3, 4, 6, 7, 7, 8, 6, 5, 7, 8, 8, 9, 7, 7, 8, 9, 9, 9, 7, 7, 8, 9, 9,
         10, 8, 8, 9, 10, 10, 10]),
    8: (6, [3, 4, 6, 18, 12, 5, 5, 1, 2, 16, 9, 3, 7, 3, 5, 14, 7, 3, 19, 17, 15, 13, 10, 4, 13,
            5, 8, 11, 5, 1, 12, 4, 4, 1, 1, 0],
        [2, 3, 6, 8, 8, 9, 3, 2, 4, 8, 8, 8, 6, 4, 6, 8, 8, 9, 8, 8, 8, 9, 9, 10, 8, 7, 8, 9, 10,
         10, 9, 8, 9, 9, 11, 11]),
    9: (6, [7, 5, 9, 14, 15, 7, 6, 4, 5, 5, 6, 7, 7, 6, 8, 8, 8, 5, 15, 6, 9, 10, 5, 1, 11, 7,
            9, 6, 4, 1, 14, 4, 6, 2, 6, 0],
        [3, 3, 5, 6, 8, 9, 3, 3, 4, 5, 6, 8, 4, 4, 5, 6, 7, 8, 6, 5, 6, 7, 7, 8, 7, 6, 7, 7, 8, 9,
         8, 7, 8, 8, 9, 9]),
    10: (8, [1, 2, 10, 23, 35, 30, 12, 17, 3, 3, 8, 12, 18, 21, 12, 7, 11, 9, 15, 21, 32, 40, 19,
             6, 14, 13, 22, 34, 46, 23, 18, 7, 20, 19, 33, 47, 27, 22, 9, 3, 31, 22, 41, 26, 21,
             20, 5, 3, 14, 13, 10, 11, 16, 6, 5, 1, 9, 8, 7, 8, 4, 4, 2, 0],
         [1, 3, 6, 8, 9, 9, 9, 10, 3, 4, 6, 7, 8, 9, 8, 8, 6, 6, 7, 8, 9, 10, 9, 9, 7, 7, 8, 9, 10,
          10, 9, 10, 8, 8, 9, 10, 10, 10, 10, 10, 9, 9, 10, 10, 11, 11, 10, 11, 8, 8, 9, 10, 10,
          10, 11, 11, 9, 8, 9, 10, 10, 11, 11, 11]),
    11: (8, [3, 4, 10, 24, 34, 33, 21, 15, 5, 3, 4, 10, 32, 17, 11, 10, 11, 7, 13, 18, 30, 31, 20,
             5, 25, 11, 19, 59, 27, 18, 12, 5, 35, 33, 31, 58, 30, 16, 7, 5, 28, 26, 32, 19, 17,
             15, 8, 14, 14, 12, 9, 13, 14, 9, 4, 1, 11, 4, 6, 6, 6, 3, 2, 0],
         [2, 3, 5, 7, 8, 9, 8, 9, 3, 3, 4, 6, 8, 8, 7, 8, 5, 5, 6, 7, 8, 9, 8, 8, 7, 6, 7, 9, 8,
          10, 8, 9, 8, 8, 8, 9, 9, 10, 9, 10, 8, 8, 9, 10, 10, 11, 10, 11, 8, 7, 7, 8, 9, 10, 10,
          10, 8, 7, 8, 9, 10, 10, 10, 10]),
    12: (8, [9, 6, 16, 33, 41, 39, 38, 26, 7, 5, 6, 9, 23, 16, 26, 11, 17, 7, 11, 14, 21, 30, 10,
             7, 17, 10, 15, 12, 18, 28, 14, 5, 32, 13, 22, 19, 18, 16, 9, 5, 40, 17, 31, 29, 17,
             13, 4, 2, 27, 12, 11, 15, 10, 7, 4, 1, 27, 12, 8, 12, 6, 3, 1, 0],
         [4, 3, 5, 7, 8, 9, 9, 9, 3, 3, 4, 5, 7, 7, 8, 8, 5, 4, 5, 6, 7, 8, 7, 8, 6, 5, 6, 6, 7, 8,
          8, 8, 7, 6, 7, 7, 8, 8, 8, 9, 8, 7, 8, 8, 8, 9, 8, 9, 8, 7, 7, 8, 8, 9, 9, 10, 9, 8, 8,
          9, 9, 9, 9, 10]),
    13: (16, [1, 5, 14, 21, 34, 51, 46, 71, 42, 52, 68, 52, 67, 44, 43, 19, 3, 4, 12, 19, 31, 26,
              44, 33, 31, 24, 32, 24, 31, 35, 22, 14, 15, 13, 23, 36, 59, 49, 77, 65, 29, 40, 30,
              40, 27, 33, 42, 16, 22, 20, 37, 61, 56, 79, 73, 64, 43, 76, 56, 37, 26, 31, 25, 14,
              35, 16, 60, 57, 97, 75, 114, 91, 54, 73, 55, 41, 48, 53, 23, 24, 58, 27, 50, 96, 76,
              70, 93, 84, 77, 58, 79, 29, 74, 49, 41, 17, 47, 45, 78, 74, 115, 94, 90, 79, 69, 83,
              71, 50, 59, 38, 36, 15, 72, 34, 56, 95, 92, 85, 91, 90, 86, 73, 77, 65, 51, 44, 43,
              42, 43, 20, 30, 44, 55, 78, 72, 87, 78, 61, 46, 54, 37, 30, 20, 16, 53, 25, 41, 37,
              44, 59, 54, 81, 66, 76, 57, 54, 37, 18, 39, 11, 35, 33, 31, 57, 42, 82, 72, 80, 47,
              58, 55, 21, 22, 26, 38, 22, 53, 25, 23, 38, 70, 60, 51, 36, 55, 26, 34, 23, 27, 14,
              9, 7, 34, 32, 28, 39, 49, 75, 30, 52, 48, 40, 52, 28, 18, 17, 9, 5, 45, 21, 34, 64,
              56, 50, 49, 45, 31, 19, 12, 15, 10, 7, 6, 3, 48, 23, 20, 39, 36, 35, 53, 21, 16, 23,
              13, 10, 6, 1, 4, 2, 16, 15, 17, 27, 25, 20, 29, 11, 17, 12, 16, 8, 1, 1, 0, 1],
          [1, 4, 6, 7, 8, 9, 9, 10, 9, 10, 11, 11, 12, 12, 13, 13, 3, 4, 6, 7, 8, 8, 9, 9, 9, 9,
           10, 10, 11, 12, 12, 12, 6, 6, 7, 8, 9, 9, 10, 10, 9, 10, 10, 11, 11, 12, 13, 13, 7, 7,
           8, 9, 9, 10, 10, 10, 10, 11, 11, 11, 11, 12, 13, 13, 8, 7, 9, 9, 10, 10, 11, 11, 10,
           11, 11, 12, 12, 13, 13, 14, 9, 8, 9, 10, 10, 10, 11, 11, 11, 11, 12, 11, 13, 13, 14,
           14, 9, 9, 10, 10, 11, 11, 11, 11, 11, 12, 12, 12, 13, 13, 14, 14, 10, 9, 10, 11, 11,
           11, 12, 12, 12, 12, 13, 13, 13, 14, 16, 16, 9, 8, 9, 10, 10, 11, 11, 12, 12, 12, 12,
           13, 13, 14, 15, 15, 10, 9, 10, 10, 11, 11, 11, 13, 12, 13, 13, 14, 14, 14, 16, 15, 10,
           10, 10, 11, 11, 12, 12, 13, 12, 13, 14, 13, 14, 15, 16, 17, 11, 10, 10, 11, 12, 12, 12,
           12, 13, 13, 13, 14, 15, 15, 15, 16, 11, 11, 11, 12, 12, 13, 12, 13, 14, 14, 15, 15, 15,
           16, 16, 16, 12, 11, 12, 13, 13, 13, 14, 14, 14, 14, 14, 15, 16, 15, 16, 16, 13, 12, 12,
           13, 13, 13, 15, 14, 14, 17, 15, 15, 15, 17, 16, 16, 12, 12, 13, 14, 14, 14, 15, 14, 15,
           15, 16, 16, 19, 18, 19, 16]),
    15: (16, [7, 12, 18, 53, 47, 76, 124, 108, 89, 123, 108, 119, 107, 81, 122, 63, 13, 5, 16, 27,
              46, 36, 61, 51, 42, 70, 52, 83, 65, 41, 59, 36, 19, 17, 15, 24, 41, 34, 59, 48, 40,
              64, 50, 78, 62, 80, 56, 33, 29, 28, 25, 43, 39, 63, 55, 93, 76, 59, 93, 72, 54, 75,
              50, 29, 52, 22, 42, 40, 67, 57, 95, 79, 72, 57, 89, 69, 49, 66, 46, 27, 77, 37, 35,
              66, 58, 52, 91, 74, 62, 48, 79, 63, 90, 62, 40, 38, 125, 32, 60, 56, 50, 92, 78, 65,
              55, 87, 71, 51, 73, 51, 70, 30, 109, 53, 49, 94, 88, 75, 66, 122, 91, 73, 56, 42,
              64, 44, 21, 25, 90, 43, 41, 77, 73, 63, 56, 92, 77, 66, 47, 67, 48, 53, 36, 20, 71,
              34, 67, 60, 58, 49, 88, 76, 67, 106, 71, 54, 38, 39, 23, 15, 109, 53, 51, 47, 90,
              82, 58, 57, 48, 72, 57, 41, 23, 27, 62, 9, 86, 42, 40, 37, 70, 64, 52, 43, 70, 55,
              42, 25, 29, 18, 11, 11, 118, 68, 30, 55, 50, 46, 74, 65, 49, 39, 24, 16, 22, 13, 14,
              7, 91, 44, 39, 38, 34, 63, 52, 45, 31, 52, 28, 19, 14, 8, 9, 3, 123, 60, 58, 53, 47,
              43, 32, 22, 37, 24, 17, 12, 15, 10, 2, 1, 71, 37, 34, 30, 28, 20, 17, 26, 21, 16,
              10, 6, 8, 6, 2, 0],
          [3, 4, 5, 7, 7, 8, 9, 9, 9, 10, 10, 11, 11, 11, 12, 13, 4, 3, 5, 6, 7, 7, 8, 8, 8, 9, 9,
           10, 10, 10, 11, 11, 5, 5, 5, 6, 7, 7, 8, 8, 8, 9, 9, 10, 10, 11, 11, 11, 6, 6, 6, 7, 7,
           8, 8, 9, 9, 9, 10, 10, 10, 11, 11, 11, 7, 6, 7, 7, 8, 8, 9, 9, 9, 9, 10, 10, 10, 11,
           11, 11, 8, 7, 7, 8, 8, 8, 9, 9, 9, 9, 10, 10, 11, 11, 11, 12, 9, 7, 8, 8, 8, 9, 9, 9,
           9, 10, 10, 10, 11, 11, 12, 12, 9, 8, 8, 9, 9, 9, 9, 10, 10, 10, 10, 10, 11, 11, 11, 12,
           9, 8, 8, 9, 9, 9, 9, 10, 10, 10, 10, 11, 11, 12, 12, 12, 9, 8, 9, 9, 9, 9, 10, 10, 10,
           11, 11, 11, 11, 12, 12, 12, 10, 9, 9, 9, 10, 10, 10, 10, 10, 11, 11, 11, 11, 12, 13,
           12, 10, 9, 9, 9, 10, 10, 10, 10, 11, 11, 11, 11, 12, 12, 12, 13, 11, 10, 9, 10, 10, 10,
           11, 11, 11, 11, 11, 11, 12, 12, 13, 13, 11, 10, 10, 10, 10, 11, 11, 11, 11, 12, 12, 12,
           12, 12, 13, 13, 12, 11, 11, 11, 11, 11, 11, 11, 12, 12, 12, 12, 13, 13, 12, 13, 12, 11,
           11, 11, 11, 11, 11, 12, 12, 12, 12, 12, 13, 13, 13, 13]),
    16: (16, [1, 5, 14, 44, 74, 63, 110, 93, 172, 149, 138, 242, 225, 195, 376, 17, 3, 4, 12, 20,
              35, 62, 53, 47, 83, 75, 68, 119, 201, 107, 207, 9, 15, 13, 23, 38, 67, 58, 103, 90,
              161, 72, 127, 117, 110, 209, 206, 16, 45, 21, 39, 69, 64, 114, 99, 87, 158, 140, 252,
              212, 199, 387, 365, 26, 75, 36, 68, 65, 115, 101, 179, 164, 155, 264, 246, 226, 395,
              382, 362, 9, 66, 30, 59, 56, 102, 185, 173, 265, 142, 253, 232, 400, 388, 378, 445,
              16, 111, 54, 52, 100, 184, 178, 160, 133, 257, 244, 228, 217, 385, 366, 715, 10, 98,
              48, 91, 88, 165, 157, 148, 261, 248, 407, 397, 372, 380, 889, 884, 8, 85, 84, 81,
              159, 156, 143, 260, 249, 427, 401, 392, 383, 727, 713, 708, 7, 154, 76, 73, 141, 131,
              256, 245, 426, 406, 394, 384, 735, 359, 710, 352, 11, 139, 129, 67, 125, 247, 233,
              229, 219, 393, 743, 737, 720, 885, 882, 439, 4, 243, 120, 118, 115, 227, 223, 396,
              746, 742, 736, 721, 712, 706, 223, 436, 6, 202, 224, 222, 218, 216, 389, 386, 381,
              364, 888, 443, 707, 440, 437, 1728, 4, 747, 211, 210, 208, 370, 379, 734, 723, 714,
              1735, 883, 877, 876, 3459, 865, 2, 377, 369, 102, 187, 726, 722, 358, 711, 709, 866,
              1734, 871, 3458, 870, 434, 0, 12, 10, 7, 11, 10, 17, 11, 9, 13, 12, 10, 7, 5, 3, 1,
              3],
          [1, 4, 6, 8, 9, 9, 10, 10, 11, 11, 11, 12, 12, 12, 13, 9, 3, 4, 6, 7, 8, 9, 9, 9, 10, 10,
           10, 11, 12, 11, 12, 8, 6, 6, 7, 8, 9, 9, 10, 10, 11, 10, 11, 11, 11, 12, 12, 9, 8, 7,
           8, 9, 9, 10, 10, 10, 11, 11, 12, 12, 12, 13, 13, 10, 9, 8, 9, 9, 10, 10, 11, 11, 11,
           12, 12, 12, 13, 13, 13, 9, 9, 8, 9, 9, 10, 11, 11, 12, 11, 12, 12, 13, 13, 13, 14, 10,
           10, 9, 9, 10, 11, 11, 11, 11, 12, 12, 12, 12, 13, 13, 14, 10, 10, 9, 10, 10, 11, 11,
           11, 12, 12, 13, 13, 13, 13, 15, 15, 10, 10, 10, 10, 11, 11, 11, 12, 12, 13, 13, 13, 13,
           14, 14, 14, 10, 11, 10, 10, 11, 11, 12, 12, 13, 13, 13, 13, 14, 13, 14, 13, 11, 11, 11,
           10, 11, 12, 12, 12, 12, 13, 14, 14, 14, 15, 15, 14, 10, 12, 11, 11, 11, 12, 12, 13, 14,
           14, 14, 14, 14, 14, 13, 14, 11, 12, 12, 12, 12, 12, 13, 13, 13, 13, 15, 14, 14, 14, 14,
           16, 11, 14, 12, 12, 12, 13, 13, 14, 14, 14, 16, 15, 15, 15, 17, 15, 11, 13, 13, 11, 12,
           14, 14, 13, 14, 14, 15, 16, 15, 17, 15, 14, 11, 9, 8, 8, 9, 9, 10, 10, 10, 11, 11, 11,
           11, 11, 11, 11, 8]),
    24: (16, [15, 13, 46, 80, 146, 262, 248, 434, 426, 669, 653, 649, 621, 517, 1032, 88, 14, 12,
              21, 38, 71, 130, 122, 216, 209, 198, 327, 345, 319, 297, 279, 42, 47, 22, 41, 74, 68,
              128, 120, 221, 207, 194, 182, 340, 315, 295, 541, 18, 81, 39, 75, 70, 134, 125, 116,
              220, 204, 190, 178, 325, 311, 293, 271, 16, 147, 72, 69, 135, 127, 118, 112, 210,
              200, 188, 352, 323, 306, 285, 540, 14, 263, 66, 129, 126, 119, 114, 214, 202, 192,
              180, 341, 317, 301, 281, 262, 12, 249, 123, 121, 117, 113, 215, 206, 195, 185, 347,
              330, 308, 291, 272, 520, 10, 435, 115, 111, 109, 211, 203, 196, 187, 353, 332, 313,
              298, 283, 531, 381, 17, 427, 212, 208, 205, 201, 193, 186, 177, 169, 320, 303, 286,
              268, 514, 377, 16, 335, 199, 197, 191, 189, 181, 174, 333, 321, 305, 289, 275, 521,
              379, 371, 11, 668, 184, 183, 179, 175, 344, 331, 314, 304, 290, 277, 530, 383, 373,
              366, 10, 652, 346, 171, 168, 164, 318, 309, 299, 287, 276, 263, 513, 375, 368, 362,
              6, 648, 322, 316, 312, 307, 302, 292, 284, 269, 261, 512, 376, 370, 364, 359, 4, 620,
              300, 296, 294, 288, 282, 273, 266, 515, 380, 374, 369, 365, 361, 357, 2, 1033, 280,
              278, 274, 267, 264, 259, 382, 378, 372, 367, 363, 360, 358, 356, 0, 43, 20, 19, 17,
              15, 13, 11, 9, 7, 6, 4, 7, 5, 3, 1, 3],
          [4, 4, 6, 7, 8, 9, 9, 10, 10, 11, 11, 11, 11, 11, 12, 9, 4, 4, 5, 6, 7, 8, 8, 9, 9, 9, 10,
           10, 10, 10, 10, 8, 6, 5, 6, 7, 7, 8, 8, 9, 9, 9, 9, 10, 10, 10, 11, 7, 7, 6, 7, 7, 8,
           8, 8, 9, 9, 9, 9, 10, 10, 10, 10, 7, 8, 7, 7, 8, 8, 8, 8, 9, 9, 9, 10, 10, 10, 10, 11,
           7, 9, 7, 8, 8, 8, 8, 9, 9, 9, 9, 10, 10, 10, 10, 10, 7, 9, 8, 8, 8, 8, 9, 9, 9, 9, 10,
           10, 10, 10, 10, 11, 7, 10, 8, 8, 8, 9, 9, 9, 9, 10, 10, 10, 10, 10, 11, 11, 8, 10, 9,
           9, 9, 9, 9, 9, 9, 9, 10, 10, 10, 10, 11, 11, 8, 10, 9, 9, 9, 9, 9, 9, 10, 10, 10, 10,
           10, 11, 11, 11, 8, 11, 9, 9, 9, 9, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 8, 11, 10,
           9, 9, 9, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 8, 11, 10, 10, 10, 10, 10, 10, 10, 10,
           10, 11, 11, 11, 11, 11, 8, 11, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11,
           8, 12, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 11, 8, 8, 7, 7, 7, 7, 7, 7,
           7, 7, 7, 7, 8, 8, 8, 8, 4]),
}
QUAD_A = ([1, 5, 4, 5, 6, 5, 4, 4, 7, 3, 6, 0, 7, 2, 3, 1],
          [1, 4, 4, 5, 4, 6, 5, 6, 4, 5, 5, 6, 5, 6, 6, 6])
QUAD_B = ([15 - i for i in range(16)], [4] * 16)

# Escape bits of the big-value tables 16..31 (table 16..23 share the codes of 16, 24..31 of 24).
LINBITS = {16: 1, 17: 2, 18: 3, 19: 4, 20: 6, 21: 8, 22: 10, 23: 13,
           24: 4, 25: 5, 26: 6, 27: 7, 28: 8, 29: 9, 30: 11, 31: 13}

# Synthesis window D[i] x 65536 (every entry of the published window is a multiple of 2^-16).
WINDOW = [
    0, -1, -1, -1, -1, -1, -1, -2, -2, -2, -2, -3, -3, -4, -4, -5,
    -5, -6, -7, -7, -8, -9, -10, -11, -13, -14, -16, -17, -19, -21, -24, -26,
    -29, -31, -35, -38, -41, -45, -49, -53, -58, -63, -68, -73, -79, -85, -91, -97,
    -104, -111, -117, -125, -132, -139, -147, -154, -161, -169, -176, -183, -190, -196, -202, -208,
    213, 218, 222, 225, 227, 228, 228, 227, 224, 221, 215, 208, 200, 189, 177, 163,
    146, 127, 106, 83, 57, 29, -2, -36, -72, -111, -153, -197, -244, -294, -347, -401,
    -459, -519, -581, -645, -711, -779, -848, -919, -991, -1064, -1137, -1210, -1283, -1356, -1428, -1498,
    -1567, -1634, -1698, -1759, -1817, -1870, -1919, -1962, -2001, -2032, -2057, -2075, -2085, -2087, -2080, -2063,
    2037, 2000, 1952, 1893, 1822, 1739, 1644, 1535, 1414, 1280, 1131, 970, 794, 605, 402, 185,
    -45, -288, -545, -814, -1095, -1388, -1692, -2006, -2330, -2663, -3004, -3351, -3705, -4063, -4425, -4788,
    -5153, -5517, -5879, -6237, -6589, -6935, -7271, -7597, -7910, -8209, -8491, -8755, -8998, -9219, -9416, -9585,
    -9727, -9838, -9916, -9959, -9966, -9935, -9863, -9750, -9592, -9389, -9139, -8840, -8492, -8092, -7640, -7134,
    6574, 5959, 5288, 4561, 3776, 2935, 2037, 1082, 70, -998, -2122, -3300, -4533, -5818, -7154, -8540,
    -9975, -11455, -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289, -30112, -31947, -33791, -35640,
    -37489, -39336, -41176, -43006, -44821, -46617, -48390, -50137, -51853, -53534, -55178, -56778, -58333, -59838, -61289, -62684,
    -64019, -65290, -66494, -67629, -68692, -69679, -70590, -71420, -72169, -72835, -73415, -73908, -74313, -74630, -74856, -74992,
    75038, 74992, 74856, 74630, 74313, 73908, 73415, 72835, 72169, 71420, 70590, 69679, 68692, 67629, 66494, 65290,
    64019, 62684, 61289, 59838, 58333, 56778, 55178, 53534, 51853, 50137, 48390, 46617, 44821, 43006, 41176, 39336,
    37489, 35640, 33791, 31947, 30112, 28289, 26482, 24694, 22929, 21189, 19478, 17799, 16155, 14548, 12980, 11455,
    9975, 8540, 7154, 5818, 4533, 3300, 2122, 998, -70, -1082, -2037, -2935, -3776, -4561, -5288, -5959,
    6574, 7134, 7640, 8092, 8492, 8840, 9139, 9389, 9592, 9750, 9863, 9935, 9966, 9959, 9916, 9838,
    9727, 9585, 9416, 9219, 8998, 8755, 8491, 8209, 7910, 7597, 7271, 6935, 6589, 6237, 5879, 5517,
    5153, 4788, 4425, 4063, 3705, 3351, 3004, 2663, 2330, 2006, 1692, 1388, 1095, 814, 545, 288,
    45, -185, -402, -605, -794, -970, -1131, -1280, -1414, -1535, -1644, -1739, -1822, -1893, -1952, -2000,
    2037, 2063, 2080, 2087, 2085, 2075, 2057, 2032, 2001, 1962, 1919, 1870, 1817, 1759, 1698, 1634,
    1567, 1498, 1428, 1356, 1283, 1210, 1137, 1064, 991, 919, 848, 779, 711, 645, 581, 519,
    459, 401, 347, 294, 244, 197, 153, 111, 72, 36, 2, -29, -57, -83, -106, -127,
    -146, -163, -177, -189, -200, -208, -215, -221, -224, -227, -228, -228, -227, -225, -222, -218,
    213, 208, 202, 196, 190, 183, 176, 169, 161, 154, 147, 139, 132, 125, 117, 111,
    104, 97, 91, 85, 79, 73, 68, 63, 58, 53, 49, 45, 41, 38, 35, 31,
    29, 26, 24, 21, 19, 17, 16, 14, 13, 11, 10, 9, 8, 7, 7, 6,
    5, 5, 4, 4, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1,
]

ROOT_BITS = 8
NODE = 0x80000000


def check_code(codes, lens, name):
    kraft = sum(2.0 ** -l for l in lens)
    if abs(kraft - 1.0) > 1e-12:
        sys.exit(f'{name}: not a complete code (Kraft sum {kraft})')
    words = sorted((format(c, f'0{l}b'), i) for i, (c, l) in enumerate(zip(codes, lens)))
    for (a, _), (b, _) in zip(words, words[1:]):
        if b.startswith(a):
            sys.exit(f'{name}: {a} is a prefix of {b}')
    for c, l in zip(codes, lens):
        if c >> l:
            sys.exit(f'{name}: code {c} longer than {l} bits')


def build_lookup(symbols, root):
    """symbols: list of (code, length, payload). Returns u32 entries: a leaf holds
    (bits used at this level << 16) | payload, a node NODE | (sub-table bits << 16) | offset."""
    table = []

    def build(syms, bits, consumed):
        start = len(table)
        table.extend([None] * (1 << bits))
        groups = {}
        for code, length, payload in syms:
            rest = length - consumed
            if rest <= bits:
                prefix = (code & ((1 << rest) - 1)) << (bits - rest)
                for fill in range(1 << (bits - rest)):
                    table[start + prefix + fill] = (rest << 16) | payload
            else:
                top = (code >> (rest - bits)) & ((1 << bits) - 1)
                groups.setdefault(top, []).append((code, length, payload))
        for top, sub in groups.items():
            longest = max(l for _, l, _ in sub) - consumed - bits
            sub_bits = min(longest, ROOT_BITS)
            off = build(sub, sub_bits, consumed + bits)
            table[start + top] = NODE | (sub_bits << 16) | off
        return start

    build(symbols, root, 0)
    if any(e is None for e in table):
        sys.exit('lookup table has holes')
    if len(table) > 0xFFFF:
        sys.exit('lookup table too large for 16-bit offsets')
    return table


def huffman_tables():
    entries, offsets, lookup = [], [], []
    built = {}
    for t in range(32):
        base = 16 if 16 <= t <= 23 else (24 if t >= 24 else t)
        if t == 0:
            offsets.append(0)
            lookup.append((0, 'noBits', 0))
            continue
        if base not in HUFF:
            offsets.append(0)
            lookup.append((0, 'invalidTab', 0))
            continue
        size, codes, lens = HUFF[base]
        if base not in built:
            check_code(codes, lens, f'table {base}')
            root = min(max(lens), ROOT_BITS)
            syms = [(c, l, ((i // size) << 8) | (i % size)) for i, (c, l) in enumerate(zip(codes, lens))]
            built[base] = (len(entries), root)
            entries.extend(build_lookup(syms, root))
        off, root = built[base]
        offsets.append(off)
        if t >= 16:
            kind = 'loopLinbits'
        elif max(lens) <= ROOT_BITS:
            kind = 'oneShot'
        else:
            kind = 'loopNoLinbits'
        lookup.append((LINBITS.get(t, 0), kind, root))
    quad, qoff, qroot = [], [], []
    for name, (codes, lens) in (('A', QUAD_A), ('B', QUAD_B)):
        check_code(codes, lens, f'quad table {name}')
        root = max(lens)
        qoff.append(len(quad))
        qroot.append(root)
        quad.extend(build_lookup([(c, l, i) for i, (c, l) in enumerate(zip(codes, lens))], root))
    return entries, offsets, lookup, quad, qoff, qroot


def q(value, bits):
    v = int(round(value * (1 << bits)))
    if not -(1 << 31) <= v < (1 << 31):
        sys.exit(f'constant {value} does not fit Q{bits}')
    return v


def poly_coefs():
    """Synthesis window in the order the windowing reads it, scaled by 2^18 (D x 65536 x 4)."""
    d = WINDOW
    for i in range(1, 512):
        if i % 64 and d[512 - i] != -d[i]:
            sys.exit(f'window symmetry broken at {i}')
    out = []
    for i in range(8):
        out += [d[64 * i], -d[64 * i + 32]]
    for k in range(1, 16):
        for i in range(8):
            out += [d[k + 64 * i], -d[k + 64 * i + 32]]
    for i in range(8):
        out.append(-d[48 + 64 * i])
    return [4 * v for v in out]


def imdct_windows():
    """Windows of the four block types, with the 1/sqrt(2) that the dequantiser's gain leaves."""
    s = 1 / math.sqrt(2)
    wins = [[0.0] * 36 for _ in range(4)]
    for i in range(36):
        wins[0][i] = math.sin(math.pi / 36 * (i + 0.5))
    for i in range(18):
        wins[1][i] = math.sin(math.pi / 36 * (i + 0.5))
    for i in range(18, 24):
        wins[1][i] = 1.0
    for i in range(24, 30):
        wins[1][i] = math.sin(math.pi / 12 * (i - 18 + 0.5))
    for i in range(12):
        wins[2][i] = math.sin(math.pi / 12 * (i + 0.5))
    for i in range(6, 12):
        wins[3][i] = math.sin(math.pi / 12 * (i - 6 + 0.5))
    for i in range(12, 18):
        wins[3][i] = 1.0
    for i in range(18, 36):
        wins[3][i] = math.sin(math.pi / 36 * (i + 0.5))
    return [[q(w * s, 31) for w in row] for row in wins]


def dct4_matrix(n):
    """n-point DCT-IV matrix."""
    return [[q(math.cos(math.pi / n * (m + 0.5) * (k + 0.5)), 31) for k in range(n)] for m in range(n)]


def dct_odd_matrix(n):
    """Odd outputs of an n-point DCT-II from the n/2 differences x[k] - x[n-1-k]."""
    h = n // 2
    return [[q(math.cos((2 * k + 1) * (2 * m + 1) * math.pi / (2 * n)), 31) for k in range(h)] for m in range(h)]


def twiddle(n):
    """Pre-twiddle of an n-point DCT-IV computed through a DCT-II: cos(pi (2k + 1) / (4n))."""
    return [q(math.cos(math.pi * (2 * k + 1) / (4 * n)), 31) for k in range(n)]


def dct9_even():
    """Even outputs 2m (m = 1..8) of the 18-point DCT-II from the 9 sums, Q30 (some are +-1);
    output 0 is their plain sum."""
    return [[q(math.cos(math.pi * (2 * k + 1) * m / 18), 30) for k in range(9)] for m in range(1, 9)]


def dct9_odd():
    """Odd outputs 2m + 1 of the 18-point DCT-II from the 9 differences."""
    return [[q(math.cos(math.pi * (2 * k + 1) * (2 * m + 1) / 36), 31) for k in range(9)] for m in range(9)]


def alias_coefs():
    ci = [-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037]
    cs = [q(1 / math.sqrt(1 + c * c), 31) for c in ci]
    ca = [q(c / math.sqrt(1 + c * c), 31) for c in ci]
    return cs, ca


POW43_FRAC = 22        # small table: n^(4/3) * 2^(f/4) in Q22
POW43_POLY_DEG = 9     # polynomial for ((1 + u) / 2)^(4/3), u in [0, 1)


def pow43_small():
    return [[q(n ** (4 / 3) * 2 ** (f / 4), POW43_FRAC) for n in range(64)] for f in range(4)]


def pow43_poly():
    # Least-squares fit on Chebyshev nodes, then checked in the same fixed point the decoder uses.
    n = 400
    xs = [0.5 - 0.5 * math.cos(math.pi * (i + 0.5) / n) for i in range(n)]
    deg = POW43_POLY_DEG
    a = [[x ** j for j in range(deg + 1)] for x in xs]
    b = [((1 + x) / 2) ** (4 / 3) for x in xs]
    # normal equations solved by Gaussian elimination (small and well enough conditioned here)
    ata = [[sum(a[r][i] * a[r][j] for r in range(n)) for j in range(deg + 1)] for i in range(deg + 1)]
    atb = [sum(a[r][i] * b[r] for r in range(n)) for i in range(deg + 1)]
    m = len(ata)
    for c in range(m):
        p = max(range(c, m), key=lambda r: abs(ata[r][c]))
        ata[c], ata[p] = ata[p], ata[c]
        atb[c], atb[p] = atb[p], atb[c]
        for r in range(c + 1, m):
            f = ata[r][c] / ata[c][c]
            for j in range(c, m):
                ata[r][j] -= f * ata[c][j]
            atb[r] -= f * atb[c]
    coef = [0.0] * m
    for r in reversed(range(m)):
        coef[r] = (atb[r] - sum(ata[r][j] * coef[j] for j in range(r + 1, m))) / ata[r][r]
    fixed = [q(c, 30) for c in coef]
    worst = 0.0
    for i in range(0, 1 << 14):
        u_fix = i << 17
        acc = fixed[-1]
        for c in reversed(fixed[:-1]):
            acc = c + ((acc * u_fix) >> 31)
        exact = ((1 + u_fix / 2 ** 31) / 2) ** (4 / 3)
        worst = max(worst, abs(acc / 2 ** 30 - exact) / exact)
    if worst > 2 ** -24:
        sys.exit(f'pow43 polynomial error {worst} too large')
    return fixed, worst


def pow2_thirds_quarters():
    return [q(2 ** (r / 3 + f / 4), 29) for r in range(3) for f in range(4)]


def intensity_tables():
    sqrt2 = math.sqrt(2)
    mpeg1 = []
    for ms in (0, 1):
        row = []
        for pos in range(7):
            if pos == 6:
                kl = 1.0
            else:
                t = math.tan(pos * math.pi / 12)
                kl = t / (1 + t)
            row.append(q(kl * (sqrt2 if ms else 1), 30))
        mpeg1.append(row)
    mpeg2 = []
    for scale in (0, 1):
        per_ms = []
        io = 2 ** (-(scale + 1) / 4)
        for ms in (0, 1):
            per_ms.append([q(io ** k * (sqrt2 if ms else 1), 30) for k in range(16)])
        mpeg2.append(per_ms)
    illegal = [[q(1.0, 30), 0], [q(1.0, 30), q(1.0, 30)]]
    return mpeg1, mpeg2, illegal


def fmt_list(values, per_line=8, indent='    '):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ', '.join(str(v) for v in values[i:i + per_line]) + ',')
    return '\n'.join(lines)


def fmt_hex(values, per_line=8, indent='    '):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ', '.join(f'0x{v:08x}' for v in values[i:i + per_line]) + ',')
    return '\n'.join(lines)


def fmt_2d(rows, indent='    '):
    return '\n'.join(indent + '{' + ', '.join(str(v) for v in row) + '},' for row in rows)


def main():
    entries, offsets, lookup, quad, qoff, qroot = huffman_tables()
    poly = poly_coefs()
    wins = imdct_windows()
    cs, ca = alias_coefs()
    small = pow43_small()
    poly43, poly_err = pow43_poly()
    p2 = pow2_thirds_quarters()
    is1, is2, iip = intensity_tables()

    o = []
    o.append('// Generated by tools/mp3tables/gen_mp3tables.py: do not edit by hand.')
    o.append('// Constant tables of the MP3 decoder (integer data only).')
    o.append('// clang-format off')
    o.append('#include "codecs/mp3dec/mp3tables.h"')
    o.append('')
    o.append(f'const u32 lmp3_huffTable[{len(entries)}] = {{')
    o.append(fmt_hex(entries))
    o.append('};')
    o.append('const s32 lmp3_huffTabOffset[32] = {')
    o.append(fmt_list(offsets))
    o.append('};')
    o.append('const HuffTabLookup lmp3_huffTabLookup[32] = {')
    for lin, kind, root in lookup:
        o.append(f'    {{{lin}, HuffTabType::{kind}, {root}}},')
    o.append('};')
    o.append(f'const u32 lmp3_quadTable[{len(quad)}] = {{')
    o.append(fmt_hex(quad))
    o.append('};')
    o.append(f'const s32 lmp3_quadTabOffset[2] = {{{qoff[0]}, {qoff[1]}}};')
    o.append(f'const s32 lmp3_quadTabMaxBits[2] = {{{qroot[0]}, {qroot[1]}}};')
    o.append('')
    o.append('const s32 lmp3_pow43[4][64] = {')
    for row in small:
        o.append('    {')
        o.append(fmt_list(row, 8, '        '))
        o.append('    },')
    o.append('};')
    o.append(f'// Relative error of the polynomial in the decoder\'s fixed point: {poly_err:.3g}')
    o.append(f'const s32 lmp3_pow43Poly[{len(poly43)}] = {{' + ', '.join(map(str, poly43)) + '};')
    o.append('const s32 lmp3_pow2ThirdQuarter[3][4] = {')
    for r in range(3):
        o.append('    {' + ', '.join(str(v) for v in p2[4 * r:4 * r + 4]) + '},')
    o.append('};')
    o.append('')
    o.append('const s32 lmp3_ISFMpeg1[2][7] = {')
    o.append(fmt_2d(is1))
    o.append('};')
    o.append('const s32 lmp3_ISFMpeg2[2][2][16] = {')
    for per_ms in is2:
        o.append('    {')
        o.append(fmt_2d(per_ms, '        '))
        o.append('    },')
    o.append('};')
    o.append('const s32 lmp3_ISFIIP[2][2] = {')
    o.append(fmt_2d(iip))
    o.append('};')
    hdr = []
    hdr.append('// Generated by tools/mp3tables/gen_mp3tables.py: do not edit by hand.')
    hdr.append('// Window and transform constants of the MP3 decoder, visible to every stage so the')
    hdr.append('// compiler can fold them into the transforms.')
    hdr.append('// clang-format off')
    hdr.append('#pragma once')
    hdr.append('')
    hdr.append('#include "orvsys/orvint.h"')
    hdr.append('')
    hdr.append('inline constexpr s32 lmp3_polyCoef[264] = {')
    hdr.append(fmt_list(poly))
    hdr.append('};')
    hdr.append('')
    hdr.append('inline constexpr s32 lmp3_imdctWin[4][36] = {')
    for row in wins:
        hdr.append('    {')
        hdr.append(fmt_list(row, 6, '        '))
        hdr.append('    },')
    hdr.append('};')
    hdr.append('inline constexpr s32 lmp3_imdctTwiddle18[18] = {' + ', '.join(map(str, twiddle(18))) + '};')
    hdr.append('inline constexpr s32 lmp3_dct9Even[8][9] = {')
    hdr.append(fmt_2d(dct9_even()))
    hdr.append('};')
    hdr.append('inline constexpr s32 lmp3_dct9Odd[9][9] = {')
    hdr.append(fmt_2d(dct9_odd()))
    hdr.append('};')
    hdr.append('inline constexpr s32 lmp3_imdct6[6][6] = {')
    hdr.append(fmt_2d(dct4_matrix(6)))
    hdr.append('};')
    for n in (32, 16, 8, 4, 2):
        h = n // 2
        hdr.append(f'inline constexpr s32 lmp3_dctOdd{n}[{h}][{h}] = {{')
        hdr.append(fmt_2d(dct_odd_matrix(n)))
        hdr.append('};')
    hdr.append('inline constexpr s32 lmp3_aliasCs[8] = {' + ', '.join(map(str, cs)) + '};')
    hdr.append('inline constexpr s32 lmp3_aliasCa[8] = {' + ', '.join(map(str, ca)) + '};')
    hdr.append('')
    with open(OUT, 'w') as f:
        f.write('\n'.join(o) + '\n')
    with open(OUT_HEADER, 'w') as f:
        f.write('\n'.join(hdr) + '\n')
    print(f'wrote {os.path.normpath(OUT)} ({len(entries)} Huffman entries, pow43 error {poly_err:.3g})')
    print(f'wrote {os.path.normpath(OUT_HEADER)}')


if __name__ == '__main__':
    main()
