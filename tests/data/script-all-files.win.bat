MD D:\Backups\BK-20261206
MD D:\Backups\BK-20261206\Src
xcopy C:\Work\Src\*.* D:\Backups\BK-20261206\Src /D:12-6-2026
MD D:\Backups\BK-20261206\Docs
xcopy C:\Work\Docs\*.* D:\Backups\BK-20261206\Docs /D:12-6-2026
