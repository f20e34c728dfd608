@echo off
rem Starts the tool where it finds its table picture and, two levels up, its window icon.
cd /d "%~dp0share\quorvan-config\run\config"
start "" "%~dp0bin\quorvan-config.exe"
