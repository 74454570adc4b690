# tolvex_embed_file(target symbol file-or-target)
# Assembles a file, or the file a target builds (an executable), into target
# between the hidden symbols <symbol> and <symbol>_end, byte for byte. The
# target is rebuilt when the file changes; its compiles bypass the compiler
# cache, which does not see files pulled in by the assembler.
function(tolvex_embed_file target symbol file)
  if(TARGET ${file})
    # A copy at a path of this folder: the assembler needs a plain path, and
    # the copy is remade whenever the target is.
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.bin)
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${file}> ${copy}
      DEPENDS ${file}
      COMMENT "Taking ${file} into ${target}")
    set(file ${copy})
  endif()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp)
  file(GENERATE OUTPUT ${source} CONTENT
"// Generated: ${symbol} holds the bytes of the embedded file.
__asm__(
    \".pushsection .rodata,\\\"a\\\",@progbits\\n\"
    \".balign 16\\n\"
    \".globl ${symbol}\\n.hidden ${symbol}\\n${symbol}:\\n\"
    \".incbin \\\"${file}\\\"\\n\"
    \".globl ${symbol}_end\\n.hidden ${symbol}_end\\n${symbol}_end:\\n\"
    \".byte 0\\n\"
    \".popsection\\n\");
")
  target_sources(${target} PRIVATE ${source})
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS "${file}")
  set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER "")
endfunction()
