# The layers of the portable core, one target each (docs/ARCHITECTURE.md,
# "Layers"). A layer's sources see only the folders of the layers it names
# as BELOW, never one above it or a sibling: every folder has an include
# root of its own under the build tree, holding one link to that folder, and
# a layer depends on the layers below PRIVATE, so what it sees goes no
# further. An include that points up or across names a file no include path
# holds, and the build stops there.

set(IMPTHERM_LAYER_ROOTS ${CMAKE_BINARY_DIR}/layers)

# The include root NAME, where "FOLDER/..." names src/FOLDER/... and nothing else.
function(imptherm_include_root folder name out)
  set(root ${IMPTHERM_LAYER_ROOTS}/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# imptherm_layer(TARGET FOLDER folder [BELOW layer...])
function(imptherm_layer target)
  cmake_parse_arguments(L "" "FOLDER" "BELOW" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${L_FOLDER}/*.cpp)
  add_library(${target} STATIC ${sources})
  imptherm_include_root(${L_FOLDER} ${L_FOLDER} root)
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PRIVATE ${L_BELOW})
endfunction()

# The platform interfaces are headers only, and their folder also holds the
# backends, which no layer of the core may see: the root links the headers
# one by one.
set(IMPTHERM_PLATFORM_ROOT ${IMPTHERM_LAYER_ROOTS}/platform)
file(REMOVE_RECURSE ${IMPTHERM_PLATFORM_ROOT})
file(GLOB IMPTHERM_PLATFORM_HEADERS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/*.h ${CMAKE_SOURCE_DIR}/src/platform/*.inc)
file(MAKE_DIRECTORY ${IMPTHERM_PLATFORM_ROOT}/platform)
foreach(header ${IMPTHERM_PLATFORM_HEADERS})
  get_filename_component(name ${header} NAME)
  file(CREATE_LINK ${header} ${IMPTHERM_PLATFORM_ROOT}/platform/${name} SYMBOLIC)
endforeach()

imptherm_layer(impthermbase FOLDER base)
add_library(impthermplatform INTERFACE)
target_include_directories(impthermplatform INTERFACE ${IMPTHERM_PLATFORM_ROOT})
imptherm_layer(impthermbarcode FOLDER barcode BELOW impthermbase)
# What every stage shares: logs, files, captions, the data lines, the job
# sink, the label record, the printer object, the run's options and state.
imptherm_layer(impthermcommon FOLDER common BELOW impthermbase impthermplatform)
# The stages, side by side: none sees another.
set(IMPTHERM_STAGE_BELOW impthermcommon impthermbase impthermplatform)
imptherm_layer(impthermretrieval FOLDER retrieval BELOW ${IMPTHERM_STAGE_BELOW})
imptherm_layer(impthermlabels FOLDER labels BELOW ${IMPTHERM_STAGE_BELOW})
imptherm_layer(impthermoutput FOLDER output BELOW ${IMPTHERM_STAGE_BELOW})
imptherm_layer(impthermsheet FOLDER sheet BELOW ${IMPTHERM_STAGE_BELOW} impthermbarcode)
imptherm_layer(impthermpreview FOLDER preview BELOW ${IMPTHERM_STAGE_BELOW} impthermbarcode)
# The print run driver and the wiring of the stages, above all of them.
imptherm_layer(impthermrun FOLDER run BELOW impthermretrieval impthermlabels impthermoutput impthermsheet
  impthermpreview ${IMPTHERM_STAGE_BELOW} impthermbarcode)
target_include_directories(impthermrun PRIVATE ${CMAKE_BINARY_DIR}/generated)
add_dependencies(impthermrun key_table_header)

# The whole portable core, for what stands on top of it: the hosts, the
# tests, the benchmarks and the fuzz targets, which may include any of it.
add_library(impthermcore INTERFACE)
target_include_directories(impthermcore INTERFACE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(impthermcore INTERFACE impthermrun impthermretrieval impthermlabels impthermoutput
  impthermsheet impthermpreview impthermcommon impthermbarcode impthermplatform impthermbase)

# A backend of the platform interfaces (src/platform/posix, src/platform/win32):
# it sees the interfaces and base/, nothing of the core above them.
function(imptherm_backend target folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/${folder}/*.cpp)
  add_library(${target} STATIC ${sources})
  imptherm_include_root(platform/${folder} backend-${folder} root)
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC impthermplatform PRIVATE impthermbase)
endfunction()
