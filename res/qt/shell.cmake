# The shell's icons, compiled into the resource library (Qt links the resource objects into every
# program that links pelmora_res, so they are not dropped from the static library).
qt_add_resources(pelmora_res shell_icons
  PREFIX /res
  FILES icons/mainframe_16.png icons/mainframe_32.png icons/tray_16.png icons/tray_32.png)
