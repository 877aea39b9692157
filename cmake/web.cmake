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

# The threaded build beside it: varnu-mt.js, varnu-mt.wasm and varnu-mt.worker.js, whose search
# runs as many threads as "Threads" asks for, as natively. Emscripten makes each std::thread a Web
# Worker, and all of them share the module's memory, so every object file is compiled anew with
# -pthread; a page can run it only when cross-origin isolated.
#
# The command loop runs on a thread of its own (PROXY_TO_PTHREAD) and blocks there on a queue of
# lines, as it blocks on standard input natively, with no Asyncify. Kept on the JavaScript thread
# that holds the module, with Asyncify, it would have to wait there for the search's threads,
# where Emscripten lets that thread only spin on a lock while the threads' output waits for it
# (tried: a stop or a ponder hit hung). Free, it starts the threads' workers and prints for them.
#
# Five workers are made before main starts, so that the command loop and a search of four threads
# (the most the page asks for) start at once; more are made as they are asked for. The threads'
# stacks come out of the shared memory. Growing shared memory slows the JavaScript that reads it,
# which here only hands lines over and prints; Emscripten's warning is let go.
add_library(varnu_core_mt STATIC ${VARNU_SOURCES})
target_include_directories(varnu_core_mt PUBLIC src)
target_compile_options(varnu_core_mt PUBLIC -pthread)
add_executable(varnu-mt src/web/main.cpp src/web/line_queue.cpp)
target_link_libraries(varnu-mt PRIVATE varnu_core_mt)
target_link_options(varnu-mt PRIVATE
  -pthread -Wno-pthreads-mem-growth -sPROXY_TO_PTHREAD -sPTHREAD_POOL_SIZE=5
  -sPTHREAD_POOL_SIZE_STRICT=0
  -sTOTAL_STACK=8388608 -sDEFAULT_PTHREAD_STACK_SIZE=4194304
  -sALLOW_MEMORY_GROWTH -sABORTING_MALLOC=0 -sINITIAL_MEMORY=33554432
  -sEXIT_RUNTIME -sENVIRONMENT=web,worker,node
  -sEXPORTED_FUNCTIONS=_main,_varnu_push_line,_varnu_end_input -sEXPORTED_RUNTIME_METHODS=ccall
  --pre-js ${CMAKE_SOURCE_DIR}/src/web/threads_glue.js)
set_property(TARGET varnu-mt APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/threads_glue.js)
add_custom_command(TARGET varnu-mt POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_SOURCE_DIR}/web/engine
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE_DIR:varnu-mt>/varnu-mt.js
          $<TARGET_FILE_DIR:varnu-mt>/varnu-mt.wasm $<TARGET_FILE_DIR:varnu-mt>/varnu-mt.worker.js
          ${CMAKE_SOURCE_DIR}/web/engine
  COMMENT "Copying the threaded engine into web/engine")
