# VOVED_SANITIZE: empty, or a -fsanitize= list such as "address,undefined" or "thread".
set(VOVED_SANITIZE "" CACHE STRING "Sanitizers for every target (address,undefined | thread)")
if(VOVED_SANITIZE)
  add_compile_options(-fsanitize=${VOVED_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VOVED_SANITIZE})
endif()
