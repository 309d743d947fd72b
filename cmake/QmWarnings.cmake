# Warnings and sanitizers shared by every target of the project.
add_library(qm_warnings INTERFACE)
target_compile_options(qm_warnings INTERFACE -Wall -Wextra)
if(QM_WERROR)
  target_compile_options(qm_warnings INTERFACE -Werror)
endif()

if(QM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()

# Coverage for libFuzzer in every library; the fuzz targets add the fuzzer's own main.
if(QM_LIBFUZZER)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
