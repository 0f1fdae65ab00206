# kv_public_headers(TARGET FOLDER): TARGET's headers are included as "FOLDER/Name.h", and a
# target that links TARGET sees those headers, and those of what TARGET links publicly, but
# no others: an include of a higher layer (ops including "main1/...") does not compile.
#
# Each target gets an include root of its own in the build folder that holds one link,
# FOLDER -> src/FOLDER. Where the file system cannot make links (Windows without the right to
# create symbolic links), the headers stay reachable through src/ and a notice says the walls
# are not checked in that build.
set(kv_headers_root ${PROJECT_BINARY_DIR}/include)

function(kv_public_headers target folder)
  set(root ${kv_headers_root}/${target})
  set(link ${root}/${folder})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT IS_SYMLINK ${link})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${link} SYMBOLIC RESULT failed)
    if(failed)
      message(NOTICE "Cannot link ${link} (${failed}): ${target}'s headers are reached "
                     "through src/, and includes across layers are not checked in this build")
      target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
      return()
    endif()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
