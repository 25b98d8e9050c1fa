# The product's folders from the bottom up, and the other folders each one's
# code may include. The build makes one static library per folder, links it to
# the libraries named here, and fails when a file includes a folder that is
# not named for its own (cmake/CheckLayer.cmake).
set(KELO_LAYERS core update liveries airports simlink feed runways stands engine parking app)
set(KELO_USES_core "")
set(KELO_USES_update core)
set(KELO_USES_liveries core)
set(KELO_USES_airports core update liveries)
set(KELO_USES_simlink core liveries airports)
set(KELO_USES_feed core liveries airports simlink)
set(KELO_USES_runways core airports simlink)
set(KELO_USES_stands core liveries airports simlink)
set(KELO_USES_engine core liveries airports simlink feed runways stands)
set(KELO_USES_parking core liveries airports simlink feed runways stands engine)
set(KELO_USES_app core update liveries airports simlink feed runways stands engine parking)
# Folders beside the product that its code never includes.
set(KELO_NON_PRODUCT_FOLDERS standins tests bench fuzz native)
