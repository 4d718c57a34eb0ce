if(HARBEX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(HARBEX_SANITIZE STREQUAL "thread")
  # The status page's seqlock orders its copies with fences, which TSan
  # cannot model; the page is shared between processes, which it does not see.
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
  add_link_options(-fsanitize=thread)
elseif(NOT HARBEX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "HARBEX_SANITIZE must be empty, 'address' or 'thread'")
endif()

# The fuzz build instruments everything for coverage; fuzz targets add the
# libFuzzer driver (tests/CMakeLists.txt).
if(HARBEX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
