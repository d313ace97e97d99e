# Each tool builds a small valid source, and refuses the same source with one typical mistake:
# it exits with 1, names the file and line, and leaves no output file behind.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs TOOL on TEXT; EXPECTED is "" for success, else a pattern the message must match.
function(run_tool tool name text expected)
  set(source ${WORK_DIR}/${name}.txt)
  set(output ${WORK_DIR}/${name}.bin)
  file(WRITE ${source} "${text}")
  file(REMOVE ${output})
  execute_process(COMMAND ${tool} ${source} ${output} RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(expected STREQUAL "")
    if(NOT result EQUAL 0 OR NOT EXISTS ${output})
      message(FATAL_ERROR "${name}: the valid source was refused (${result}): ${errors}")
    endif()
    return()
  endif()
  if(NOT result EQUAL 1)
    message(FATAL_ERROR "${name}: exit ${result}, expected 1")
  endif()
  if(NOT errors MATCHES "${expected}")
    message(FATAL_ERROR "${name}: message \"${errors}\" does not match \"${expected}\"")
  endif()
  if(EXISTS ${output})
    message(FATAL_ERROR "${name}: an output file was written")
  endif()
endfunction()

# --- note-length vocabulary
set(mld_head "kind 0\npattern qq q q\npattern h h\npattern tie h ~\n")
set(mld_tail "transitions 1\nqq -> qq\nh -> qq\ntransitions 2\nqq -> h\ntransitions 3\nqq -> qq\nh -> qq\n")
run_tool(${MAKE_MLD} mld_valid "${mld_head}transitions 0\nqq -> qq h\n${mld_tail}" "")
run_tool(${MAKE_MLD} mld_short_half "kind 0\npattern qq q e\n" "mld_short_half.txt:2: pattern qq fills 72 ticks")
run_tool(${MAKE_MLD} mld_tie_ends_bar "${mld_head}transitions 0\nqq -> qq tie\n${mld_tail}"
         "mld_tie_ends_bar.txt:6: tie ends with a tie mark")
run_tool(${MAKE_MLD} mld_dead_end "${mld_head}transitions 0\nqq -> qq h\ntransitions 1\nqq -> qq\ntransitions 2\nqq -> h\ntransitions 3\nqq -> qq\n"
         "mld_dead_end.txt:6: h ends a bar but has no transitions of kind 1")
run_tool(${MAKE_MLD} mld_split_group "${mld_head}transitions 0\nqq -> qq\nqq -> h\n${mld_tail}"
         "mld_split_group.txt:7: pattern qq already has transitions of this kind")

# --- melody style
set(rows "")
foreach(r RANGE 0 10)
  string(APPEND rows "r${r} 10 10 10 10 10 10 10 10 10 5 5\n")
endforeach()
set(ton_tables "table onbeat 0\n${rows}table onbeat 1 like onbeat 0\ntable onbeat 2 like onbeat 0\ntable onbeat 3 like onbeat 0\ntable offbeat 0 like onbeat 0\ntable offbeat 1 like onbeat 0\ntable offbeat 2 like onbeat 0\ntable offbeat 3 like onbeat 0\n")
run_tool(${MAKE_TON} ton_valid "repeat_pattern 10\nreverse_rate 30\nrun_limit 4\n${ton_tables}" "")
string(REPLACE "r3 10 10" "r3 11 10" bad_tables "${ton_tables}")
run_tool(${MAKE_TON} ton_row_sum "repeat_pattern 10\nreverse_rate 30\nrun_limit 4\n${bad_tables}"
         "ton_row_sum.txt:8: row r3 of onbeat 0 adds up to 101, not 100")
run_tool(${MAKE_TON} ton_run_limit "repeat_pattern 10\nreverse_rate 30\nrun_limit 12\n${ton_tables}"
         "ton_run_limit.txt:3: run_limit needs a number 0..11")
string(REPLACE "r10 10 10 10 10 10 10 10 10 10 5 5\n" "" short_tables "${ton_tables}")
run_tool(${MAKE_TON} ton_missing_row "repeat_pattern 10\nreverse_rate 30\nrun_limit 4\n${short_tables}"
         "ton_missing_row.txt:15: row r10 of onbeat 0 is missing")

# --- forms
set(bars "0 C C - - -\n1 C Am - - -\n2 C F - 0 0\n3 C G7 - - -\n4 C C 0 0 0\n5 C F#m7-5 - - -\n6 C G7 - - 3\n7 C C - - -\n")
run_tool(${MAKE_FORMS} forms_valid "form テスト\nperiod 0 new\n${bars}period 1 copy 0\n" "")
string(REPLACE "4 C C 0 0 0" "4 C F 0 0 0" other_chord "${bars}")
run_tool(${MAKE_FORMS} forms_melody_chord "form テスト\nperiod 0 new\n${other_chord}"
         "forms_melody_chord.txt:7: a bar that repeats a melody keeps the key and chord of its source")
string(REPLACE "2 C F - 0 0" "2 C F - 3 3" forward "${bars}")
run_tool(${MAKE_FORMS} forms_forward "form テスト\nperiod 0 new\n${forward}"
         "forms_forward.txt:5: the motif source of bar 2 must be \"-\" or an earlier bar")
string(REPLACE "2 C F - 0 0" "2 C F - 0 -" nesting "${bars}")
run_tool(${MAKE_FORMS} forms_nesting "form テスト\nperiod 0 new\n${nesting}"
         "forms_nesting.txt:5: a bar that repeats the motif of bar j repeats its note lengths too")
string(REPLACE "3 C G7 -" "3 C Gadd9 -" add_chord "${bars}")
run_tool(${MAKE_FORMS} forms_chord "form テスト\nperiod 0 new\n${add_chord}"
         "forms_chord.txt:6: chord Gadd9 is not one the chord parser accepts")
run_tool(${MAKE_FORMS} forms_short_period "form テスト\nperiod 0 new\n0 C C - - -\nperiod 1 new\n"
         "the period before has fewer than 8 bars")
