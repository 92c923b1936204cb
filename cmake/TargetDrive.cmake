# The drive model that drvflash recognises as a target for its image: the
# identification patterns, compared with a drive's INQUIRY data. This file is
# the one place they are configured; the build turns them into the program's
# encoded tables (generated/IdentificationPatterns.inc), so no plain pattern
# text stands in the program.
#
# Each pattern is blank-padded to its length; '?' matches any byte. Characters
# are printable ASCII from ' ' to '}' (the encoding cannot hold '~').
#   ZAL_VENDOR_PATTERNS       up to 6 vendor identifications (8 characters), a CMake list
#   ZAL_PRODUCT_PATTERNS      up to 8 product identifications (16 characters), a CMake list
#   ZAL_ALTERNATE_PRODUCT     the product the drive reports while it runs its loader
#   ZAL_REVISION_PATTERN      4 characters, of which the first three are compared
# Unused rows of the vendor and product tables are filled so that no drive
# matches them.

set(ZAL_VENDOR_PATTERNS "ZAL" CACHE STRING "drvflash: vendor patterns (8 characters each, a list)")
set(ZAL_PRODUCT_PATTERNS "TK-4800J" CACHE STRING
    "drvflash: product patterns (16 characters each, a list)")
set(ZAL_ALTERNATE_PRODUCT "TK-4800J LOADER" CACHE STRING
    "drvflash: the product a drive reports while it runs its loader (16 characters)")
set(ZAL_REVISION_PATTERN "?.??" CACHE STRING
    "drvflash: revision pattern (4 characters; the first three are compared)")

# Appends the encoded bytes of `text`, blank-padded to `length`, to `out` as
# "0xNN, " items: each plain byte plus `offset`, modulo 256.
function(zal_encode_pattern out text length offset what)
  string(LENGTH "${text}" size)
  if(size GREATER length)
    message(FATAL_ERROR "${what} '${text}' is longer than ${length} characters")
  endif()
  if(NOT text MATCHES "^[ -}]*$")
    message(FATAL_ERROR "${what} '${text}': only printable ASCII from ' ' to '}' can be matched")
  endif()
  math(EXPR padding "${length} - ${size}")
  string(REPEAT " " ${padding} blanks)
  string(HEX "${text}${blanks}" hex)
  string(REGEX MATCHALL ".." bytes "${hex}")
  set(items "")
  foreach(byte IN LISTS bytes)
    math(EXPR stored "(0x${byte} + ${offset}) % 256" OUTPUT_FORMAT HEXADECIMAL)
    string(APPEND items "${stored}, ")
  endforeach()
  set(${out} "${${out}}{${items}}" PARENT_SCOPE)
endfunction()

# One table of `rows` patterns; rows without a configured pattern hold `unused`.
function(zal_encode_table out patterns rows length offset unused what)
  list(LENGTH patterns count)
  if(count EQUAL 0 OR count GREATER rows)
    message(FATAL_ERROR "${what}: 1 to ${rows} patterns, got ${count}")
  endif()
  set(table "")
  foreach(pattern IN LISTS patterns)
    zal_encode_pattern(table "${pattern}" ${length} ${offset} "${what}")
    string(APPEND table ",\n    ")
  endforeach()
  string(REPEAT "${unused}, " ${length} filler)
  math(EXPR missing "${rows} - ${count}")
  foreach(i RANGE 1 ${missing})
    if(missing GREATER 0)
      string(APPEND table "{${filler}},\n    ")
    endif()
  endforeach()
  set(${out} "${table}" PARENT_SCOPE)
endfunction()

# Writes the encoded tables to `file`, rewriting it only when they changed.
function(zal_write_identification_patterns file)
  # Unused vendor rows: the stored 0x7F stands for the byte 0xFF, which no drive
  # reports in its ASCII vendor identification (and which a cleared buffer does
  # not hold). Unused product rows: the stored 0x00 stands for no byte at all
  # (0x00 - 0x82 is below every signed byte), so they match nothing.
  zal_encode_table(vendor "${ZAL_VENDOR_PATTERNS}" 6 8 128 0x7f "ZAL_VENDOR_PATTERNS")
  zal_encode_table(product "${ZAL_PRODUCT_PATTERNS}" 8 16 130 0x00 "ZAL_PRODUCT_PATTERNS")
  set(alternate "")
  zal_encode_pattern(alternate "${ZAL_ALTERNATE_PRODUCT}" 16 130 "ZAL_ALTERNATE_PRODUCT")
  string(LENGTH "${ZAL_REVISION_PATTERN}" revisionLength)
  if(NOT revisionLength EQUAL 4)
    message(FATAL_ERROR "ZAL_REVISION_PATTERN '${ZAL_REVISION_PATTERN}' must be 4 characters")
  endif()
  set(revision "")
  zal_encode_pattern(revision "${ZAL_REVISION_PATTERN}" 4 129 "ZAL_REVISION_PATTERN")
  set(text "// Generated from cmake/TargetDrive.cmake; do not edit.\n")
  string(APPEND text "static const unsigned char StoredVendorPatterns[6][8] = {\n    ${vendor}};\n")
  string(APPEND text "static const unsigned char StoredProductPatterns[8][16] = {\n    ${product}};\n")
  string(APPEND text "static const unsigned char StoredAlternateProductPattern[16] = ${alternate};\n")
  string(APPEND text "static const unsigned char StoredRevisionPattern[4] = ${revision};\n")
  file(CONFIGURE OUTPUT ${file} CONTENT "${text}")
endfunction()
