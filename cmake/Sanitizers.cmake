if(VOR_SANITIZE AND VOR_TSAN)
  message(FATAL_ERROR "VOR_SANITIZE and VOR_TSAN exclude each other: build them in two trees")
endif()
if(VOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
# Where threads meet: the sessions of a production line or a station, the window's workflow
# thread, the record delivery. Suppressions (scripts/tsan.supp) name third-party code only.
if(VOR_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
