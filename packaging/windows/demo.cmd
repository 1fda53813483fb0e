@echo off
rem Starts the room simulator and the overlay against it, both from this folder.
cd /d "%~dp0"
if not exist config.ini (
  rem A lively demo room (the name in the settings file's own escaped form).
  > config.ini echo [Config]
  >> config.ini echo roomName=\x661f\x5149\x821e\x53f0
)
rem Both inherit this folder as their working directory: the overlay finds images and
rem config.ini in it.
start "kibchat-sim" /min kibchat-sim.exe
start "" kibchat.exe
