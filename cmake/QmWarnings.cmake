# Warnings and sanitizers shared by every target of the project. Only our own targets link
# qm_warnings, so -Werror never reaches a warning inside a GoogleTest or Qt header (those
# come in as system includes of imported targets anyway).
add_library(qm_warnings INTERFACE)
target_compile_options(qm_warnings INTERFACE -Wall -Wextra)
if(QM_WERROR)
  target_compile_options(qm_warnings INTERFACE -Werror)
endif()

# Implicit narrowing and sign changes, for the libraries whose code writes every such
# conversion out (qm_add_library ... STRICT_CONVERSIONS): there file data becomes numbers.
add_library(qm_conversion_warnings INTERFACE)
target_compile_options(qm_conversion_warnings INTERFACE -Wconversion -Wsign-conversion)

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
