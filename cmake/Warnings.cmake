# Warnings for our own targets; CI turns them into errors.
add_compile_options(-Wall -Wextra)
if(HARBEX_WERROR)
  add_compile_options(-Werror)
endif()
