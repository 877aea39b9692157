# The WebAssembly build (emcmake cmake): varnu.js and varnu.wasm, a UCI engine for a web page's
# Web Worker or for Node, single-threaded. Both are copied into web/engine, where the web page and
# the npm package find them.
#
# The engine's one thread waits for input and gives way during its search through Asyncify,
# which lets the C++ code pause and resume around JavaScript's event loop. Asyncify needs room to
# save the search's stack when it pauses. Memory grows as the hash table asks for it, and a table
# that cannot be had is refused as on other systems, rather than ending the engine.
add_executable(varnu src/web/main.cpp src/web/web_input.cpp)
target_link_libraries(varnu PRIVATE varnu_core)
target_link_options(varnu PRIVATE
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=1048576 -sTOTAL_STACK=8388608
  -sALLOW_MEMORY_GROWTH -sABORTING_MALLOC=0 -sINITIAL_MEMORY=33554432
  -sEXIT_RUNTIME -sENVIRONMENT=web,worker,node
  --pre-js ${CMAKE_SOURCE_DIR}/src/web/engine_glue.js)
set_property(TARGET varnu APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/engine_glue.js)
add_custom_command(TARGET varnu POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_SOURCE_DIR}/web/engine
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE_DIR:varnu>/varnu.js
          $<TARGET_FILE_DIR:varnu>/varnu.wasm ${CMAKE_SOURCE_DIR}/web/engine
  COMMENT "Copying the engine into web/engine")
