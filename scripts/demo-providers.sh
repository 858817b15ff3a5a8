# Sourced by the run command: three demo providers in the simulated service.
#   "Demo Online"   connects after the usual states
#   "Busy Line"     is busy twice, then connects
#   "Wrong Password" rejects the password on every attempt
pendro_demo_providers() {
  local ctl=("$@")
  "${ctl[@]}" reset
  "${ctl[@]}" entry "Demo Online" phone=0191011 devicetype=modem "devicename=Standard 56000 bps Modem" user=demo password=demo
  "${ctl[@]}" script "Demo Online" std@250 connected@400
  "${ctl[@]}" entry "Busy Line" phone=0192022 devicetype=modem "devicename=Standard 56000 bps Modem" user=busy password=busy
  "${ctl[@]}" script "Busy Line" 0@200 1@200 2@300 fail:676@800
  "${ctl[@]}" script "Busy Line" 0@200 1@200 2@300 fail:676@800
  "${ctl[@]}" script "Busy Line" std@250 connected@400
  "${ctl[@]}" entry "Wrong Password" phone=0193033 devicetype=isdn "devicename=ISDN Adapter" user=guest password=wrong accept_password=right
  "${ctl[@]}" script "Wrong Password" std@250 connected@400
}
