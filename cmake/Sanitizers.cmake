# TERVANE_SANITIZE=address,undefined builds everything with those sanitizers.
if(TERVANE_SANITIZE)
  add_compile_options(-fsanitize=${TERVANE_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TERVANE_SANITIZE})
endif()
