// A folder of the tree that layers.txt does not list (as testing/ is in the project).
