# VEXA_SANITIZE=address,undefined or thread instruments every target of the project.
if(VEXA_SANITIZE)
  add_compile_options(-fsanitize=${VEXA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VEXA_SANITIZE})
endif()
# The fuzz build instruments every library for coverage; its targets link libFuzzer.
if(VEXA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
